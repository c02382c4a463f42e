// The playlist's file rules: which names are entries, and the .m3u form read and written.
#include "EFileError.h"
#include "OggFixture.h"
#include "PlaylistRules.h"

#include <gtest/gtest.h>

using namespace PlaylistRules;

TEST(PlaylistRules, AcceptsTheFourAudioExtensionsByteForByte)
{
    for (const char* name : {"a.ogg", "a.qv", "a.OGG", "a.QV", "/x/y/b c.ogg", "rel/a.b.qv"})
        EXPECT_TRUE(IsAudioName(name)) << name;
    for (const char* name : {"a.Ogg", "a.oGG", "a.Qv", "a.qV", "a.ogg ", "a.ogg.txt", "ogg", "", "dir.ogg/file",
                             "a.m3u", ".og", "a."})
        EXPECT_FALSE(IsAudioName(name)) << name;
}

TEST(PlaylistRules, PlaylistWindowTakesOnlySmallM3u)
{
    EXPECT_TRUE(IsSmallM3uName("/p/list.m3u"));
    EXPECT_FALSE(IsSmallM3uName("/p/list.M3U"));
    EXPECT_FALSE(IsSmallM3uName("/p/list.M3u"));
    EXPECT_TRUE(IsM3uName("/p/list.M3U"));
    EXPECT_TRUE(IsM3uName("/p/list.m3u"));
    EXPECT_TRUE(IsM3uName("/p/list.m3u8"));
}

TEST(PlaylistRules, ReadsEveryLineEndingInAnAudioExtensionWholeAndInOrder)
{
    const std::string text =
        "#EXTM3U\r\n"
        "#EXTINF:123,Artist - Song.ogg\r\n"  // an information line that ends like a file
        "music/one.ogg\n"
        "\n"
        "  spaced.qv\r"                        // kept with its blanks
        "#comment.OGG\r\n"                     // comments get no treatment of their own
        "cover.jpg\n"
        "mixed.Ogg\n"
        "\x83\x65\x83\x58\x83\x67.ogg\n"       // Shift-JIS bytes stay as they are
        "last/without/end.QV";
    const std::vector<std::string> expected = {
        "#EXTINF:123,Artist - Song.ogg", "music/one.ogg", "  spaced.qv", "#comment.OGG",
        "\x83\x65\x83\x58\x83\x67.ogg", "last/without/end.QV"};
    EXPECT_EQ(ParseM3u(text), expected);
}

TEST(PlaylistRules, OddInputGivesNoEntriesAndNoCrash)
{
    EXPECT_TRUE(ParseM3u("").empty());
    EXPECT_TRUE(ParseM3u("\r\n\r\n\n\r").empty());
    EXPECT_TRUE(ParseM3u(std::string("\0\0\0", 3)).empty());
    const std::vector<std::string> nul = ParseM3u(std::string("a\0b.ogg\r\n", 9));
    ASSERT_EQ(nul.size(), 1u);
    EXPECT_EQ(nul[0], std::string("a\0b.ogg", 7));
}

TEST(PlaylistRules, WritesEachPathWithCrLfAndNothingElse)
{
    EXPECT_EQ(M3uText({}), "");
    EXPECT_EQ(M3uText({"/a/b.ogg", "rel.qv"}), "/a/b.ogg\r\nrel.qv\r\n");

    const std::string file = fixture::TempDir() + "/rules-save.m3u";
    const std::vector<std::string> paths = {"/x/\xE3\x83\x86.ogg", "../up.OGG", "#odd.qv"};
    SaveM3u(file, paths);
    EXPECT_EQ(fixture::ReadText(file), "/x/\xE3\x83\x86.ogg\r\n../up.OGG\r\n#odd.qv\r\n");
    EXPECT_EQ(ParseM3u(fixture::ReadText(file)), paths);

    SaveM3u(file, {});
    EXPECT_EQ(fixture::ReadText(file), "");
}

TEST(PlaylistRules, AFileThatCannotBeCreatedRaisesEFileError)
{
    EXPECT_THROW(SaveM3u(fixture::TempDir() + "/no/such/dir/list.m3u", {"a.ogg"}), EFileError);
}
