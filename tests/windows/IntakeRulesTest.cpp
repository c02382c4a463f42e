// The intake's rules without a display: playlists written by other programs (byte-order mark,
// entries beside the playlist, file:// URIs, "\" separators, ".m3u8"), names made absolute,
// saving through a link with the file's mode, folders walked in natural order, and the one
// message about the names an add passed over.
#include "FolderWalk.h"
#include "OggFixture.h"
#include "PlaylistRules.h"
#include "TSkippedNames.h"
#include "TStringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace PlaylistRules;

namespace {
std::string Touch(const std::string& path, const std::string& bytes = "x")
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

mode_t ModeOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}
}

TEST(IntakeRules, TheByteOrderMarkLeavesOnlyTheFirstLine)
{
    TStringList lines;
    lines.SetText("\xEF\xBB\xBF/music/a.ogg\r\n\xEF\xBB\xBF/music/b.ogg\r\n");
    DropByteOrderMark(lines);
    ASSERT_EQ(lines.Count(), 2);
    EXPECT_EQ(lines[0], "/music/a.ogg");
    EXPECT_EQ(lines[1], "\xEF\xBB\xBF/music/b.ogg");  // only a mark at the very start is one
    EXPECT_EQ(EntriesOf(lines).front().name, "/music/a.ogg");

    TStringList partial;
    partial.SetText("\xEF\xBB" "a.ogg");
    DropByteOrderMark(partial);
    EXPECT_EQ(partial[0], "\xEF\xBB" "a.ogg");
}

TEST(IntakeRules, FileUrisDecodeToLocalPathsOnly)
{
    EXPECT_EQ(DecodeFileUri("file:///home/u/Caf%C3%A9%20x.ogg"), "/home/u/Caf\xC3\xA9 x.ogg");
    EXPECT_EQ(DecodeFileUri("FILE://localhost/m/a%2fb.ogg"), "/m/a/b.ogg");
    EXPECT_EQ(DecodeFileUri("file:///m/100%.ogg"), "/m/100%.ogg");  // not an escape: kept
    EXPECT_EQ(DecodeFileUri("file:///m/x%4"), "/m/x%4");
    EXPECT_EQ(DecodeFileUri("file:///m/x%zz.ogg"), "/m/x%zz.ogg");
    for (const char* other : {"file://server/share/a.ogg", "file:a.ogg", "http://h/a.ogg", "/plain/a.ogg",
                              "file://", "file:///a%00.ogg"})
        EXPECT_EQ(DecodeFileUri(other), "") << other;
}

TEST(IntakeRules, RelativeNamesAreMadeAbsoluteAgainstTheGivenFolder)
{
    EXPECT_EQ(AbsoluteName("music/a.ogg", "/home/u"), "/home/u/music/a.ogg");
    EXPECT_EQ(AbsoluteName("./a.ogg", "/home/u/"), "/home/u/a.ogg");
    EXPECT_EQ(AbsoluteName("../x/a.ogg", "/home/u"), "/home/x/a.ogg");
    EXPECT_EQ(AbsoluteName("/abs/./a.ogg", "/home/u"), "/abs/./a.ogg");  // absolute: as given
    EXPECT_EQ(AbsoluteName("", "/home/u"), "");
    EXPECT_EQ(AbsoluteName("a.ogg", ""), "a.ogg");
}

TEST(IntakeRules, SavingWritesThroughALinkAndKeepsTheFilesMode)
{
    const std::string dir = fixture::FreshDir("save");
    const std::string target = Touch(dir + "real/list.m3u", "old.ogg\r\n");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const std::string link = dir + "link.m3u";
    fs::create_symlink("real/list.m3u", link);

    SaveM3u(link, {"/m/a.ogg", "/m/b.ogg"});
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fixture::ReadText(target), "/m/a.ogg\r\n/m/b.ogg\r\n");
    EXPECT_EQ(ModeOf(target), 0640u);
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    SaveM3u(target, {});
    EXPECT_EQ(ModeOf(target), 0604u);
    EXPECT_EQ(fixture::ReadText(target), "");

    // A new file gets the mode the umask leaves, as any new file does.
    const mode_t mask = ::umask(027);
    SaveM3u(dir + "new.m3u8", {"/m/c.ogg"});
    ::umask(mask);
    EXPECT_EQ(ModeOf(dir + "new.m3u8"), 0640u);
    // Nothing is left behind beside the files.
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        files += entry.is_regular_file() && !entry.is_symlink() ? 1 : 0;
    EXPECT_EQ(files, 2u);
}

TEST(IntakeRules, NaturalOrderComparesNumbersByValueAndLettersWithoutCase)
{
    std::vector<std::string> names = {"/a/10 ten.ogg",  "/a/2 two.ogg",  "/a/1 one.ogg", "/a/B.ogg",
                                      "/a/a.ogg",       "/a/02 two.ogg", "/a b/x.ogg",   "/a/sub/1.ogg",
                                      "/a/Track9.ogg",  "/a/track10.ogg",
                                      "/a/99999999999999999999.ogg", "/a/100000000000000000000.ogg"};
    std::sort(names.begin(), names.end(), FolderWalk::NaturalLess);
    const std::vector<std::string> expected = {
        "/a/1 one.ogg", "/a/02 two.ogg", "/a/2 two.ogg", "/a/10 ten.ogg", "/a/99999999999999999999.ogg",
        "/a/100000000000000000000.ogg", "/a/a.ogg", "/a/B.ogg", "/a/sub/1.ogg", "/a/Track9.ogg",
        "/a/track10.ogg", "/a b/x.ogg"};
    EXPECT_EQ(names, expected);
}

TEST(IntakeRules, AFolderGivesItsPlayableFilesThroughEverySubfolder)
{
    const std::string dir = fixture::FreshDir("walk");
    const std::string album = dir + "album";
    Touch(album + "/10 ten.ogg");
    Touch(album + "/2 two.OGG");
    Touch(album + "/cover.jpg");
    Touch(album + "/mixed.Ogg");
    Touch(album + "/list.m3u", "2 two.OGG\n");
    Touch(album + "/disc 2/1 one.qv");
    Touch(album + "/disc 10/1 one.QV");
    Touch(album + "/deep/er/still/x.ogg");
    Touch(album + "/folder.ogg/inside.ogg");  // a folder with an audio name is walked, not taken
    Touch(album + "/.hidden/x.ogg");          // hidden files and folders are a program's own
    Touch(album + "/.trashed.ogg");
    Touch(dir + "elsewhere/linked.ogg");
    fs::create_symlink(dir + "elsewhere/linked.ogg", album + "/link to file.ogg");
    fs::create_symlink(album, album + "/loop");  // followed, it would never end
    ASSERT_EQ(::mkfifo((album + "/pipe.ogg").c_str(), 0600), 0);

    const FolderWalk::Found found = FolderWalk::PlayableFiles(album);
    const std::vector<std::string> expected = {
        album + "/2 two.OGG",           album + "/10 ten.ogg",         album + "/deep/er/still/x.ogg",
        album + "/disc 2/1 one.qv",     album + "/disc 10/1 one.QV",   album + "/folder.ogg/inside.ogg",
        album + "/link to file.ogg",    album + "/mixed.Ogg"};
    EXPECT_EQ(found.files, expected);
    EXPECT_TRUE(found.unreadable.empty());
    EXPECT_TRUE(FolderWalk::IsFolder(album));
    EXPECT_TRUE(FolderWalk::IsFolder(album + "/loop"));
    EXPECT_FALSE(FolderWalk::IsFolder(album + "/10 ten.ogg"));
    EXPECT_FALSE(FolderWalk::IsFolder(""));

    // A folder that cannot be listed is named; the rest is still found. (Root reads anything.)
    const FolderWalk::Found none = FolderWalk::PlayableFiles(dir + "no such folder");
    EXPECT_TRUE(none.files.empty());
    EXPECT_EQ(none.unreadable.size(), 1u);
    if (::geteuid() != 0) {
        Touch(album + "/locked/hidden.ogg");
        ASSERT_EQ(::chmod((album + "/locked").c_str(), 0), 0);
        const FolderWalk::Found locked = FolderWalk::PlayableFiles(album);
        ::chmod((album + "/locked").c_str(), 0700);
        EXPECT_EQ(locked.files, expected);
        EXPECT_EQ(locked.unreadable, std::vector<std::string>{album + "/locked"});
    }
}

TEST(IntakeRules, TheSkippedNamesMessageCountsAllAndNamesTheFirstThree)
{
    TSkippedNames none;
    EXPECT_TRUE(none.Empty());
    EXPECT_EQ(none.Message(), "");

    TSkippedNames two;
    two.Add("/m/opus.ogg");
    two.Add("/m/list.m3u8");
    EXPECT_EQ(two.Count(), 2u);
    EXPECT_EQ(two.Message(), "読み込めないファイルを2個飛ばしました。\nopus.ogg\nlist.m3u8");

    TSkippedNames many;
    for (int i = 1; i <= 5; ++i)
        many.Add("/m/bad" + std::to_string(i) + ".ogg");
    many.Add("/m/folder/");
    EXPECT_EQ(many.Count(), 6u);
    EXPECT_EQ(many.FirstNames().size(), TSkippedNames::kNamed);
    EXPECT_EQ(many.Message(), "読み込めないファイルを6個飛ばしました。\nbad1.ogg\nbad2.ogg\nbad3.ogg\nほか3個");

    // Every name on one line of bounded width, so that the count below them stays on screen.
    TSkippedNames odd;
    std::string longName;
    for (int i = 0; i < 60; ++i)
        longName += "曲";
    odd.Add("/m/" + longName + ".ogg");
    odd.Add("/m/two\nlines.ogg");
    odd.Add("/m/" + std::string(50, 'x'));
    odd.Add("/m/more.ogg");
    std::string kept;
    for (int i = 0; i < 24; ++i)
        kept += "曲";
    EXPECT_EQ(odd.Message(), "読み込めないファイルを4個飛ばしました。\n" + kept + "…" + kept.substr(0, 20 * 3) +
                                 ".ogg\ntwo?lines.ogg\n" + std::string(24, 'x') + "…" + std::string(24, 'x') + "\nほか1個");
}
