#include "BuildPaths.h"

namespace buildpaths {
const char* const BinDir = OSTRA_BIN_DIR;
const char* const DecoderDll = OSTRA_BIN_DIR "/wuvorbis.dll";
const char* const NoScaleDll = OSTRA_NOSCALE_DLL;
const char* const SkinSource = OSTRA_SKIN_SOURCE;
}
