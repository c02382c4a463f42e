#include "FuzzSupport.h"

#include "BuildPaths.h"
#include "OggWuvorbisLib.h"

#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fuzz {

void LoadDecoderLibrary()
{
    static const bool loaded = [] {
        _VorbisfileInitialize(buildpaths::DecoderDll);
        // Kept mapped until the very end, so that a leak report made at exit can still name the
        // library an allocation came from (the leak suppressions go by library name).
        for (const char* name : {buildpaths::DecoderDll, "libvorbisfile.so.3", "libvorbis.so.0", "libogg.so.0"})
            dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        return true;
    }();
    (void)loaded;
}

namespace {
struct Scratch {
    std::string dir;
    Scratch()
    {
        // Memory-backed when there is such a place: the writers sync their files, which on a
        // disk would make every run wait.
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string pattern = (base / "ostra-fuzz-XXXXXX").string();
        FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
        dir = pattern;
    }
    ~Scratch()
    {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};
}

const std::string& ScratchDir()
{
    static Scratch scratch;
    return scratch.dir;
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}
