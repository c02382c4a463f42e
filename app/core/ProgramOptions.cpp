#include "ProgramOptions.h"

#include "OstraVersion.h"

#include <cstring>

namespace ProgramOptions {

namespace {
const char Usage[] =
    "Usage: ostradivuvirar [OPTION]... [FILE]...\n"
    "\n"
    "Plays Ogg Vorbis files (.ogg), looped-Ogg containers (.qv) and .m3u playlists, in the\n"
    "order given. Without a file it starts with an empty playlist.\n"
    "\n"
    "  --new-instance  start a player of its own even when one is running already\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Settings are kept in zkv108.info beside the program, or, in an installed copy, in\n"
    "$XDG_CONFIG_HOME/ostradivuvirar/ (~/.config/ostradivuvirar/).\n";
}

std::optional<int> Answer(int argc, const char* const* argv, std::FILE* out)
{
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(Usage, out);
            return 0;
        }
        if (std::strcmp(arg, "--version") == 0) {
            std::fprintf(out, "ostradivuvirar %s\n", OSTRA_VERSION);
            return 0;
        }
    }
    return std::nullopt;
}

}
