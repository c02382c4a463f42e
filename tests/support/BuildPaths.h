#pragma once
// Where this build tree keeps what the tests use. The paths are compiled into BuildPaths.cpp
// alone: a path in a source's compile flags differs from clone to clone, and the compiler cache
// would compile every such source again for each fresh clone.
namespace buildpaths {
extern const char* const BinDir;      // the program folder, build/bin
extern const char* const DecoderDll;  // build/bin/wuvorbis.dll
extern const char* const NoScaleDll;  // the decoder library built without wu_ScaleOutput
extern const char* const SkinSource;  // the skins as committed, skin/ in the source tree
}
