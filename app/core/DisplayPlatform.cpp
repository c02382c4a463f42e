#include "DisplayPlatform.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace {
bool Set(const char* value)
{
    return value != nullptr && *value != '\0';
}

// The value given to a Qt option on the command line ("-platform xcb" or "-platform=xcb").
const char* OptionValue(int argc, const char* const* argv, const char* option)
{
    const size_t length = std::strlen(option);
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], option) == 0)
            return i + 1 < argc ? argv[i + 1] : "";
        if (std::strncmp(argv[i], option, length) == 0 && argv[i][length] == '=')
            return argv[i] + length + 1;
    }
    return nullptr;
}
}

std::string DisplayPlatform::Choose(const std::function<const char*(const char*)>& getEnv, int argc,
                                    const char* const* argv)
{
    if (Set(getEnv("QT_QPA_PLATFORM")) || OptionValue(argc, argv, "-platform") != nullptr)
        return {};
    const char* session = getEnv("XDG_SESSION_TYPE");
    const bool wayland = Set(getEnv("WAYLAND_DISPLAY")) || (session != nullptr && std::strcmp(session, "wayland") == 0);
    return wayland && Set(getEnv("DISPLAY")) ? "xcb" : std::string();
}

void DisplayPlatform::Apply(int argc, const char* const* argv)
{
    const std::string platform = Choose([](const char* name) { return std::getenv(name); }, argc, argv);
    if (!platform.empty())
        ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
}

bool DisplayPlatform::NeedsX(const std::function<const char*(const char*)>& getEnv, int argc,
                             const char* const* argv)
{
    const char* chosen = OptionValue(argc, argv, "-platform");
    if (chosen == nullptr)
        chosen = getEnv("QT_QPA_PLATFORM");
    if (Set(chosen))
        return std::strncmp(chosen, "xcb", 3) == 0;
    return !Set(getEnv("WAYLAND_DISPLAY"));
}

std::string DisplayPlatform::Unavailable(int argc, const char* const* argv)
{
    if (!NeedsX([](const char* name) { return std::getenv(name); }, argc, argv))
        return {};
    const char* display = OptionValue(argc, argv, "-display");
    if (!Set(display))
        display = std::getenv("DISPLAY");
    if (Set(display)) {
        const std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> connection(
            xcb_connect(display, nullptr), xcb_disconnect);
        if (xcb_connection_has_error(connection.get()) == 0)
            return {};
    }
    return "no X display: set DISPLAY, or run under xvfb-run";
}
