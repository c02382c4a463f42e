#include "ProgramOptions.h"

#include "OstraVersion.h"

#include <cstring>
#include <string_view>

namespace ProgramOptions {

namespace {
const char Usage[] =
    "Usage: ostradivuvirar [OPTION]... [--] [FILE|FOLDER]...\n"
    "\n"
    "Plays Ogg Vorbis files (.ogg), looped-Ogg containers (.qv), folders (every .ogg and .qv\n"
    "in them and their subfolders, in natural order, hidden ones left out) and .m3u, .m3u8,\n"
    ".pls and .xspf playlists, in the order given; extensions in any case. The names are\n"
    "added to the playlist kept from the last run (or, when a player runs already, to its\n"
    "playlist) and the first of them plays; the playlist is never replaced by a start.\n"
    "Without a name the kept playlist comes back and goes on where it stopped: playing,\n"
    "or paused at its place.\n"
    "\n"
    "  --new-instance  start a player of its own even when one is running already\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "  --              end the options: every word after it is a name\n"
    "\n"
    "Keys in the main window: Space pause, Left/Right five seconds, N/PgDn next, B/PgUp\n"
    "previous, Up/Down or +/- volume (the wheel too), Ctrl+Q quit.\n"
    "\n"
    "Settings are kept in zkv108.info, the playlist in playlist.m3u8, beside the program, or,\n"
    "in an installed copy, in $XDG_CONFIG_HOME/ostradivuvirar/ (~/.config/ostradivuvirar/).\n";

const char NewInstanceOption[] = "--new-instance";

// Qt's own command-line options, which QApplication takes out of the list before the player
// reads its names; the first group takes the next word as its value.
constexpr std::string_view QtOptionsWithValue[] = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry", "-qwindowtitle",
    "-qwindowicon", "-session", "-style", "-stylesheet", "-display", "-geometry", "-title", "-name"};
constexpr std::string_view QtFlags[] = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};

// How many words a Qt option takes up (0 when arg is not one of Qt's).
int QtOptionWords(std::string_view arg)
{
    if (arg.rfind("-qmljsdebugger=", 0) == 0)
        return 1;
    for (std::string_view flag : QtFlags)
        if (arg == flag)
            return 1;
    for (std::string_view option : QtOptionsWithValue) {
        if (arg == option)
            return 2;
        if (arg.size() > option.size() && arg.rfind(option, 0) == 0 && arg[option.size()] == '=')
            return 1;
    }
    return 0;
}

bool IsOption(std::string_view arg)
{
    return arg.size() > 1 && arg[0] == '-';
}
}

std::optional<int> Answer(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            break;
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, out);
            return 0;
        }
        if (arg == "--version") {
            std::fprintf(out, "ostradivuvirar %s\n", OSTRA_VERSION);
            return 0;
        }
        if (arg == NewInstanceOption)
            continue;
        if (const int words = QtOptionWords(arg)) {
            i += words - 1;
            continue;
        }
        if (IsOption(arg)) {
            std::fprintf(err,
                         "ostradivuvirar: unknown option '%s'\n"
                         "Try 'ostradivuvirar --help' for more information; a file whose name starts "
                         "with '-' goes after '--'.\n",
                         argv[i]);
            return 2;
        }
    }
    return std::nullopt;
}

std::vector<std::string> Names(const std::vector<std::string>& args)
{
    std::vector<std::string> names;
    bool options = true;
    for (const std::string& arg : args) {
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && arg == NewInstanceOption)
            continue;
        names.push_back(arg);
    }
    return names;
}

bool NewInstance(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            return false;
        if (arg == NewInstanceOption)
            return true;
    }
    return false;
}

}
