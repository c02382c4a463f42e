#pragma once
// What the fuzz targets share: a check that stops the run with a message (libFuzzer records the
// input as a crash), the decoder library loaded once, and a private scratch directory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (0)

namespace fuzz {

// Loads wuvorbis.dll from the build's program directory on the first call.
void LoadDecoderLibrary();
// A directory of this process's own, made on the first call and removed at exit.
const std::string& ScratchDir();
std::string ReadWholeFile(const std::string& path);

}

// Each target defines this; libFuzzer or the replay program calls it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
