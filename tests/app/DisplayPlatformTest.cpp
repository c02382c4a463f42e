#include "DisplayPlatform.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <vector>
#include <string>

namespace {
std::function<const char*(const char*)> From(const std::map<std::string, std::string>& env)
{
    return [&env](const char* name) -> const char* {
        const auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    };
}

std::string ChooseWith(const std::map<std::string, std::string>& env, std::vector<const char*> args = {"ostradivuvirar"})
{
    return DisplayPlatform::Choose(From(env), static_cast<int>(args.size()), args.data());
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

TEST(DisplayPlatform, AnXServerIsNeededUnlessAnotherPlatformIsChosenOrAWaylandOneIsThere)
{
    struct Case {
        std::map<std::string, std::string> env;
        std::vector<const char*> args;
        bool needsX;
    };
    const Case cases[] = {
        {{}, {"ostradivuvirar"}, true},
        {{{"DISPLAY", ":0"}}, {"ostradivuvirar"}, true},
        {{{"WAYLAND_DISPLAY", "wayland-0"}}, {"ostradivuvirar"}, false},
        {{{"QT_QPA_PLATFORM", "xcb"}, {"WAYLAND_DISPLAY", "w"}}, {"ostradivuvirar"}, true},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, {"ostradivuvirar"}, false},
        {{}, {"ostradivuvirar", "-platform", "offscreen"}, false},
        {{{"QT_QPA_PLATFORM", "offscreen"}}, {"ostradivuvirar", "-platform=xcb"}, true},
        {{}, {"ostradivuvirar", "--", "-platform", "offscreen"}, true},  // file names, not options
    };
    for (const Case& c : cases) {
        const bool needs = DisplayPlatform::NeedsX(From(c.env), static_cast<int>(c.args.size()), c.args.data());
        EXPECT_EQ(needs, c.needsX) << c.args.back() << " with " << c.env.size() << " variables";
    }
}
