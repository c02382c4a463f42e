// Where our windows go: a table of rectangles for each rule, on two screens side by side (an
// 800 x 600 one and a 1920 x 1080 one to its right).
#include "TWindowPlacer.h"

#include <gtest/gtest.h>

#include <climits>

namespace {
const std::vector<TBox> TwoScreens{{0, 0, 800, 600}, {800, 0, 1920, 1080}};
const TBox Main{100, 50, 260, 110};

std::string Show(const TBox& b)
{
    return std::to_string(b.Left) + ',' + std::to_string(b.Top) + ' ' + std::to_string(b.Width) + 'x' +
           std::to_string(b.Height);
}
}

TEST(WindowPlacer, APlaceComesWhollyOntoTheScreenThatHoldsMostOfIt)
{
    const struct {
        TBox place;
        TBox expected;
    } cases[] = {
        {{100, 50, 520, 220}, {100, 50, 520, 220}},          // on the first screen
        {{500, 500, 520, 220}, {800, 500, 520, 220}},        // mostly on the second: there
        {{300, 500, 520, 220}, {280, 380, 520, 220}},        // mostly on the first: up and left
        {{-500, 100, 520, 220}, {0, 100, 520, 220}},         // off the left edge
        {{5000, -3000, 520, 220}, {2200, 0, 520, 220}},      // far up right: the second screen
        {{100, 700, 520, 220}, {100, 380, 520, 220}},        // below the first, shorter screen
        {{900, 2000, 2000, 2000}, {800, 0, 2000, 2000}},     // larger than the screen: its corner
        {{INT_MAX, INT_MIN, 520, 220}, {2200, 0, 520, 220}}, // any number a record may hold
    };
    const TWindowPlacer placer(TwoScreens);
    for (const auto& c : cases)
        EXPECT_EQ(placer.OnScreen(c.place), c.expected) << Show(c.place) << " -> " << Show(placer.OnScreen(c.place));
}

TEST(WindowPlacer, AStoredPlaceOverOursGoesToTheNearestFreePlace)
{
    const TBox small{600, 50, 120, 60};  // a small window right of the main one
    const struct {
        TBox place;
        std::vector<TBox> others;
        TBox expected;
    } cases[] = {
        {{500, 300, 290, 210}, {Main}, {500, 300, 290, 210}},      // free: kept
        {{100, 50, 290, 210}, {Main}, {100, 160, 290, 210}},       // on the main window: below it
        {{300, 60, 290, 210}, {Main}, {360, 60, 290, 210}},        // over its right end: to its right
        {{100, 400, 290, 210}, {Main}, {100, 390, 290, 210}},      // off the bottom: up, still free
        {{90, 40, 290, 500}, {Main}, {360, 40, 290, 500}},         // too tall for below: beside
        {{300, 60, 290, 210}, {Main, small}, {360, 110, 290, 210}},  // right of main, under the small one
        {{0, 0, 800, 600}, {Main}, {800, 0, 800, 600}},            // as large as a screen: the other
    };
    const TWindowPlacer placer(TwoScreens);
    for (const auto& c : cases) {
        const TBox got = placer.Free(c.place, c.others);
        EXPECT_EQ(got, c.expected) << Show(c.place) << " -> " << Show(got);
    }
    // One screen too small for both: the least covered place, on the screen.
    const TWindowPlacer tiny({{0, 0, 300, 200}});
    const TBox got = tiny.Free({0, 0, 200, 150}, {{0, 0, 260, 110}});
    EXPECT_TRUE(got.Inside({0, 0, 300, 200})) << Show(got);
    EXPECT_EQ(got.Top, 50) << Show(got);
}

TEST(WindowPlacer, ASideWindowOpensBesideItsWindow)
{
    using S = TWindowPlacer::TSide;
    const std::vector<TWindowPlacer::TBeside> playlistSides{
        {Main, S::Below}, {Main, S::Right}, {Main, S::Left}, {Main, S::Above}};
    const TBox atBottom{100, 480, 260, 110};
    const TBox inCorner{540, 480, 260, 110};
    const TBox atRightEdge{700, 50, 100, 110};
    const struct {
        const char* what;
        std::vector<TWindowPlacer::TBeside> tried;
        std::vector<TBox> others;
        TBox expected;
    } cases[] = {
        {"below", playlistSides, {Main}, {100, 160, 290, 210}},
        {"right when no room below",
         {{atBottom, S::Below}, {atBottom, S::Right}, {atBottom, S::Left}, {atBottom, S::Above}},
         {atBottom},
         {360, 390, 290, 210}},
        {"left, level with its bottom, in the corner",
         {{inCorner, S::Below}, {inCorner, S::Right}, {inCorner, S::Left}, {inCorner, S::Above}},
         {inCorner},
         {250, 390, 290, 210}},
        {"slid along the side onto the screen", {{atRightEdge, S::Below}}, {atRightEdge}, {510, 160, 290, 210}},
        {"right of something in the way below", playlistSides, {Main, {0, 200, 360, 100}}, {360, 50, 290, 210}},
        {"nearest free when no side is", playlistSides, {Main, {0, 200, 800, 100}}, {100, 300, 290, 210}},
    };
    const TWindowPlacer placer({{0, 0, 800, 600}});
    for (const auto& c : cases) {
        const TBox got = placer.Beside(290, 210, c.tried, c.others);
        EXPECT_EQ(got, c.expected) << c.what << ": " << Show(got);
    }
    // No free place on the screen: the one that covers least.
    const TBox wide{0, 0, 800, 500};
    const TBox got = placer.Beside(200, 200, {{wide, S::Below}, {wide, S::Right}}, {wide});
    EXPECT_TRUE(got.Inside({0, 0, 800, 600})) << Show(got);
    EXPECT_EQ(got.Top, 400) << "covers the least: " << Show(got);
}
