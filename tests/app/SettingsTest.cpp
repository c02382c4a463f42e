// The settings record and the skin.ini value rules, on their own (no Qt).
#include "ERangeError.h"
#include "OggFixture.h"
#include "PlayerSettings.h"
#include "SkinIni.h"
#include "TStringList.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {
int32_t Le32(const std::array<uint8_t, 288>& raw, size_t at)
{
    return static_cast<int32_t>(raw[at] | raw[at + 1] << 8 | raw[at + 2] << 16 | static_cast<uint32_t>(raw[at + 3]) << 24);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}
}

TEST(Settings, EveryFieldSitsAtItsOffsetLittleEndian)
{
    TPlayerSettings s;
    s.MainLeft = 0x01020304;
    s.MainTop = -2;
    s.PlaylistLeft = 300;
    s.PlaylistTop = -400;
    s.LoopTimes = -1;
    s.VolumeLevel = 10000;
    ASSERT_TRUE(s.SetSkinPath("/opt/player/skin/light/"));
    s.PlaylistShown = 1;
    s.LoopWindowShown = 0;
    s.VolumeWindowShown = 1;
    s.FastLoad = 1;
    const auto raw = s.Serialize();
    ASSERT_EQ(raw.size(), 288u);
    EXPECT_EQ(raw[0], 0x04);
    EXPECT_EQ(raw[3], 0x01);
    EXPECT_EQ(Le32(raw, 4), -2);
    EXPECT_EQ(Le32(raw, 8), 300);
    EXPECT_EQ(Le32(raw, 12), -400);
    EXPECT_EQ(Le32(raw, 16), -1);
    EXPECT_EQ(Le32(raw, 20), 10000);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&raw[24])), "/opt/player/skin/light/");
    EXPECT_EQ(raw[24 + 23], 0);
    EXPECT_EQ(raw[284], 1);
    EXPECT_EQ(raw[285], 0);
    EXPECT_EQ(raw[286], 1);
    EXPECT_EQ(raw[287], 1);

    const std::string path = fixture::TempDir() + "/offsets.info";
    ASSERT_TRUE(s.SaveToFile(path));
    EXPECT_EQ(std::filesystem::file_size(path), 288u);
    TPlayerSettings back;
    ASSERT_TRUE(back.LoadFromFile(path));
    EXPECT_EQ(back.Serialize(), raw);
}

TEST(Settings, NoFileLeavesTheRecordAlone)
{
    TPlayerSettings s;
    s.VolumeLevel = 123;
    EXPECT_FALSE(s.LoadFromFile(fixture::TempDir() + "/no-such.info"));
    EXPECT_EQ(s.VolumeLevel, 123);
}

TEST(Settings, AShortFileIsTakenAsFarAsItGoes)
{
    // 10 bytes: MainLeft, MainTop and the low half of PlaylistLeft; the rest stays zero.
    const std::string path = fixture::TempDir() + "/short.info";
    WriteBytes(path, {0x10, 0, 0, 0, 0x20, 0, 0, 0, 0x34, 0x12});
    TPlayerSettings s;
    s.VolumeLevel = 10000;  // a value left from before must not survive the read
    ASSERT_TRUE(s.LoadFromFile(path));
    EXPECT_EQ(s.MainLeft, 0x10);
    EXPECT_EQ(s.MainTop, 0x20);
    EXPECT_EQ(s.PlaylistLeft, 0x1234);
    EXPECT_EQ(s.PlaylistTop, 0);
    EXPECT_EQ(s.VolumeLevel, 0);
    EXPECT_EQ(s.SkinPathText(), "");
    EXPECT_EQ(s.FastLoad, 0);

    // An empty file gives the zero record; a longer one is read for its first 288 bytes.
    WriteBytes(path, {});
    ASSERT_TRUE(s.LoadFromFile(path));
    EXPECT_EQ(s.MainLeft, 0);
    std::vector<uint8_t> longer(400, 0);
    longer[287] = 1;
    longer[288] = 0xFF;
    WriteBytes(path, longer);
    ASSERT_TRUE(s.LoadFromFile(path));
    EXPECT_EQ(s.FastLoad, 1);
}

TEST(Settings, EndlessLoopCountComesBackAsMinusOne)
{
    const std::string path = fixture::TempDir() + "/loop.info";
    TPlayerSettings s;
    s.LoopTimes = -1;
    ASSERT_TRUE(s.SaveToFile(path));
    TPlayerSettings back;
    ASSERT_TRUE(back.LoadFromFile(path));
    EXPECT_EQ(back.LoopTimes, -1);
    EXPECT_EQ(back.LoopTimes16(), -1);
    // Written by something else: only the low 16 bits count for the loop window.
    back.LoopTimes = 0x0001FFFF;
    EXPECT_EQ(back.LoopTimes16(), -1);
    back.LoopTimes = 99;
    EXPECT_EQ(back.LoopTimes16(), 99);
}

TEST(Settings, AFailedWriteLeavesTheOldFileWhole)
{
    const std::string path = fixture::TempDir() + "/keep.info";
    TPlayerSettings old;
    old.MainLeft = 77;
    ASSERT_TRUE(old.SaveToFile(path));
    const auto before = fixture::ReadFile(path);

    // The temporary file beside it cannot be made (directories have every name the writer tries
    // before it gives up): nothing is replaced.
    std::vector<std::string> blockers;
    for (int n = 0; n <= 100; ++n) {
        blockers.push_back(fixture::TempDir() + "/.keep.info.tmp-" + std::to_string(::getpid()) + "-" + std::to_string(n));
        std::filesystem::create_directory(blockers.back());
    }
    TPlayerSettings fresh;
    fresh.MainLeft = 99;
    EXPECT_FALSE(fresh.SaveToFile(path));
    for (const auto& b : blockers)
        std::filesystem::remove(b);
    EXPECT_EQ(fixture::ReadFile(path), before);

    // A directory that does not exist: no file, no crash.
    EXPECT_FALSE(fresh.SaveToFile(fixture::TempDir() + "/missing/dir/zkv108.info"));
}

TEST(Settings, SkinPathMustFitTheRecord)
{
    TPlayerSettings s;
    EXPECT_TRUE(s.SetSkinPath(std::string(259, 'a')));
    EXPECT_EQ(s.SkinPathText().size(), 259u);
    EXPECT_FALSE(s.SetSkinPath(std::string(260, 'b')));
    EXPECT_EQ(s.SkinPathText(), std::string(259, 'a'));
    // A stored path without a terminator is taken whole, never read past the field.
    std::array<uint8_t, 288> raw{};
    std::memset(&raw[24], 'x', 260);
    raw[284] = 1;
    s.Parse(raw.data(), raw.size());
    EXPECT_EQ(s.SkinPathText(), std::string(260, 'x'));
    EXPECT_EQ(s.PlaylistShown, 1);
}

TEST(SkinColor, ThreeNumbersGiveBlueGreenRed)
{
    EXPECT_EQ(SkinIni::ParseSkinColor("255,0,0"), 0xFF0000u);  // blue in a red-lowest colour
    EXPECT_EQ(SkinIni::ParseSkinColor("0,0,255"), 0x0000FFu);  // red
    EXPECT_EQ(SkinIni::ParseSkinColor("0,128,0"), 0x008000u);
    // Commas as strtok takes them: runs are one separator, leading ones are skipped.
    EXPECT_EQ(SkinIni::ParseSkinColor("1,,2,3"), 0x010203u);
    EXPECT_EQ(SkinIni::ParseSkinColor(",,1,2,3,"), 0x010203u);
    EXPECT_EQ(SkinIni::ParseSkinColor("1,2,3,4,5"), 0x010203u);
    // atoi: blanks before a number, junk after it, and text that is no number at all.
    EXPECT_EQ(SkinIni::ParseSkinColor(" 16, 32 ,x"), 0x102000u);
    // No range check: a number above 255 spills into the next byte.
    EXPECT_EQ(SkinIni::ParseSkinColor("0,256,0"), 0x010000u);
    EXPECT_EQ(SkinIni::ParseSkinColor("0,0,-1"), 0xFFFFFFFFu);
}

TEST(SkinColor, MalformedValuesAreRefused)
{
    EXPECT_THROW(SkinIni::ParseSkinColor(""), ERangeError);
    EXPECT_THROW(SkinIni::ParseSkinColor("1,2"), ERangeError);
    EXPECT_THROW(SkinIni::ParseSkinColor(",,,"), ERangeError);
    EXPECT_THROW(SkinIni::ParseSkinColor(std::string("1,2\0,3", 6)), ERangeError);
    // The value must fit a 256-byte buffer with its terminator.
    const std::string fits = "1,2," + std::string(251, '3');
    EXPECT_NO_THROW(SkinIni::ParseSkinColor(fits));
    EXPECT_THROW(SkinIni::ParseSkinColor(fits + "3"), ERangeError);
}

TEST(SkinIniValues, KeysMatchIgnoringCaseButNotWithABlank)
{
    TStringList ini;
    ini.SetText("[skin]\r\ndisplay_x=30\r\nDISPLAY_Y =5\r\nTITLE_COLOR=1,2,3\r\nBAD=12a\r\nNEG=-7\r\nBIG=2147483648\r\n");
    EXPECT_EQ(SkinIni::ReadInt(ini, "DISPLAY_X"), 30);
    EXPECT_EQ(SkinIni::ReadInt(ini, "NEG"), -7);
    EXPECT_EQ(SkinIni::ReadColor(ini, "title_color"), 0x010203u);
    // A blank before "=" leaves the key missing; a missing key is empty text, no integer.
    try {
        SkinIni::ReadInt(ini, "DISPLAY_Y");
        FAIL() << "a key spelled with a blank before = must not be found";
    } catch (const ERangeError& e) {
        EXPECT_NE(std::string(e.what()).find("DISPLAY_Y"), std::string::npos);
    }
    EXPECT_THROW(SkinIni::ReadInt(ini, "BAD"), ERangeError);
    EXPECT_THROW(SkinIni::ReadInt(ini, "BIG"), ERangeError);
    EXPECT_THROW(SkinIni::ReadColor(ini, "TIME_COLOR"), ERangeError);
}
