// The values the desktop bus sees of the player.
#include "DesktopBusRules.h"
#include "PlaylistRules.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace DesktopBusRules;

TEST(DesktopBusRules, StatusFollowsThePlaybackState)
{
    // Between two pieces and during a container's closing fade the player still counts as playing.
    EXPECT_EQ(Status({true, ".ogg", true, false}), TStatus::Playing);
    EXPECT_EQ(Status({false, "qv", false, true}), TStatus::Playing);
    EXPECT_EQ(Status({false, ".qv", false, true}), TStatus::Playing);
    EXPECT_EQ(Status({false, ".ogg", true, false}), TStatus::Paused);
    // A stop by the user while paused keeps the pause time, and is a stop.
    EXPECT_EQ(Status({false, "", true, false}), TStatus::Stopped);
    EXPECT_EQ(Status({false, "", false, false}), TStatus::Stopped);
    // A piece with a mixed-case extension that has ended does not move on: stopped.
    EXPECT_EQ(Status({false, ".Ogg", false, false}), TStatus::Stopped);
    EXPECT_STREQ(StatusName(TStatus::Paused), "Paused");
}

TEST(DesktopBusRules, VolumeIsTheBarAsAGain)
{
    EXPECT_DOUBLE_EQ(VolumeOfLevel(10000), 1.0);
    EXPECT_DOUBLE_EQ(VolumeOfLevel(0), 0.0);
    EXPECT_NEAR(VolumeOfLevel(8000), 0.1, 1e-12);  // 20 dB down
    EXPECT_DOUBLE_EQ(VolumeOfLevel(12000), 1.0);
    EXPECT_EQ(LevelOfVolume(0.5), 9398);
    EXPECT_EQ(LevelOfVolume(1.0), 10000);
    EXPECT_EQ(LevelOfVolume(2.0), 10000);
    EXPECT_EQ(LevelOfVolume(0.0), 0);
    EXPECT_EQ(LevelOfVolume(-0.3), 0);
    EXPECT_EQ(LevelOfVolume(1e-9), 0);
    EXPECT_EQ(LevelOfVolume(std::nan("")), 0);
    // Every step of the bar survives the way to the bus and back.
    for (int level = 1; level <= 10000; ++level)
        ASSERT_EQ(LevelOfVolume(VolumeOfLevel(level)), level);
}

TEST(DesktopBusRules, LoopStatusFromTheLoopCount)
{
    EXPECT_STREQ(LoopStatus(-1, false, ".qv", true), "Track");
    EXPECT_STREQ(LoopStatus(-1, false, "qv", true), "Track");
    // A looped piece of finite repeats only ends, and the list goes on.
    EXPECT_STREQ(LoopStatus(-1, false, ".qv", false), "Playlist");
    // A plain file repeats only when the loop-count window switched repeating on.
    EXPECT_STREQ(LoopStatus(-1, false, ".ogg", false), "Playlist");
    EXPECT_STREQ(LoopStatus(-1, true, ".ogg", false), "Track");
    EXPECT_STREQ(LoopStatus(-1, true, ".qv", false), "Track");
    EXPECT_STREQ(LoopStatus(3, true, ".qv", true), "Playlist");
    EXPECT_STREQ(LoopStatus(0, false, "", false), "Playlist");
}

TEST(DesktopBusRules, LoopStatusSetsTheLoopCount)
{
    const struct {
        const char* status;
        int count;
        std::optional<int> set;
    } cases[] = {{"Track", 3, -1}, {"None", -1, 0}, {"Playlist", 7, 7}, {"Playlist", -1, -1},
                 {"track", 3, std::nullopt}, {"", 3, std::nullopt}};
    for (const auto& c : cases)
        EXPECT_EQ(LoopCountOfStatus(c.status, c.count), c.set) << '"' << c.status << "\" at " << c.count;
}

TEST(DesktopBusRules, FileUrlsKeepEveryByte)
{
    EXPECT_EQ(FileUrl("/music/a b#1%.ogg"), "file:///music/a%20b%231%25.ogg");
    // Shift-JIS bytes that are no UTF-8, and UTF-8 itself, come back whole through the decoding
    // that an opened URL takes.
    const std::string sjis = "/m/\x83\x66\x83\x82.ogg";
    EXPECT_EQ(FileUrl(sjis), "file:///m/%83f%83%82.ogg");
    EXPECT_EQ(PlaylistRules::DecodeFileUri(FileUrl(sjis)), sjis);
    EXPECT_EQ(PlaylistRules::DecodeFileUri(FileUrl("/森/歌 1.qv")), "/森/歌 1.qv");
}

TEST(DesktopBusRules, SeekingBackStopsAtTheStart)
{
    EXPECT_DOUBLE_EQ(SeekStep(-20.0, 7.5), -7.5);
    EXPECT_DOUBLE_EQ(SeekStep(-2.0, 7.5), -2.0);
    EXPECT_DOUBLE_EQ(SeekStep(30.0, 7.5), 30.0);  // past the end: the next piece, as the button
    EXPECT_EQ(Microseconds(12.0), 12000000);
}

TEST(DesktopBusRules, ChangedPropertiesNameWhatDiffers)
{
    TSnapshot a;
    EXPECT_TRUE(ChangedProperties(a, a).empty());
    TSnapshot b = a;
    b.status = TStatus::Playing;
    b.track = 1;
    b.volumeLevel = 9398;
    b.hasEntries = true;
    const std::vector<std::string> expected = {"PlaybackStatus", "Metadata", "Volume", "CanPlay",
                                               "CanPause", "CanGoNext", "CanGoPrevious"};
    EXPECT_EQ(ChangedProperties(a, b), expected);
    TSnapshot c = b;
    c.title = "Other";
    c.loopStatus = "Track";
    c.canSeek = true;
    EXPECT_EQ(ChangedProperties(b, c), (std::vector<std::string>{"Metadata", "LoopStatus", "CanSeek"}));
}
