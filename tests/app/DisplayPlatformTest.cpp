#include "DisplayPlatform.h"

#include <gtest/gtest.h>
#include <map>
#include <vector>
#include <string>

namespace {
std::string ChooseWith(const std::map<std::string, std::string>& env, std::vector<const char*> args = {"ostradivuvirar"})
{
    return DisplayPlatform::Choose(
        [&env](const char* name) -> const char* {
            const auto it = env.find(name);
            return it == env.end() ? nullptr : it->second.c_str();
        },
        static_cast<int>(args.size()), args.data());
}
}

TEST(DisplayPlatform, AWaylandSessionWithAnXServerAsksForX11UnlessTheUserChose)
{
    EXPECT_EQ(ChooseWith({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}}), "xcb");
    EXPECT_EQ(ChooseWith({{"XDG_SESSION_TYPE", "wayland"}, {"DISPLAY", ":1"}}), "xcb");
    // No X server beside it: Qt's own choice.
    EXPECT_EQ(ChooseWith({{"WAYLAND_DISPLAY", "wayland-0"}}), "");
    EXPECT_EQ(ChooseWith({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ""}}), "");
    // An X session, or the user's own choice.
    EXPECT_EQ(ChooseWith({{"XDG_SESSION_TYPE", "x11"}, {"DISPLAY", ":0"}}), "");
    EXPECT_EQ(ChooseWith({{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "wayland"}}), "");
    EXPECT_EQ(ChooseWith({{"WAYLAND_DISPLAY", "w"}, {"DISPLAY", ":0"}}, {"ostradivuvirar", "-platform", "wayland"}), "");
}
