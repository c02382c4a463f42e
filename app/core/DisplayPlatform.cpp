#include "DisplayPlatform.h"

#include <cstdlib>
#include <cstring>

namespace {
bool Set(const char* value)
{
    return value != nullptr && *value != '\0';
}
}

std::string DisplayPlatform::Choose(const std::function<const char*(const char*)>& getEnv, int argc,
                                    const char* const* argv)
{
    if (Set(getEnv("QT_QPA_PLATFORM")))
        return {};
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strncmp(argv[i], "-platform=", 10) == 0)
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
