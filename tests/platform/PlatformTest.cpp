#include "AtomicFile.h"
#include "EFileError.h"
#include "ERangeError.h"
#include "OggFixture.h"
#include "Paths.h"
#include "TComPtr.h"
#include "TMemoryStream.h"
#include "TStringList.h"
#include "TickCount.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <vector>

TEST(StringList, SplitsAtCrLfCrAndLfAndKeepsAnUnendedLastLine)
{
    TStringList l;
    l.SetText("a\r\nb\rc\nd");
    ASSERT_EQ(l.Count(), 4);
    EXPECT_EQ(l[0], "a");
    EXPECT_EQ(l[1], "b");
    EXPECT_EQ(l[2], "c");
    EXPECT_EQ(l[3], "d");
    l.SetText("x\n\ny\r\n");
    ASSERT_EQ(l.Count(), 3);
    EXPECT_EQ(l[1], "");
    EXPECT_EQ(l.Text(), "x\r\n\r\ny\r\n");
}

TEST(StringList, ValuesMatchTheNameIgnoringCaseAndTakeTheFirstEquals)
{
    TStringList l;
    l.Add("[skin]");
    l.Add("DISPLAY_X =7");
    l.Add("display_x=12");
    l.Add("TITLE=a=b");
    l.Add("TITLE=second");
    EXPECT_EQ(l.Values("DISPLAY_X"), "12");
    EXPECT_EQ(l.Values("title"), "a=b");
    EXPECT_EQ(l.Values("missing"), "");
    EXPECT_EQ(l.IndexOfName("Title"), 3);
}

TEST(StringList, MovesInsertsAndDeletesKeepOrder)
{
    TStringList l;
    for (const char* s : {"0", "1", "2", "3"})
        l.Add(s);
    l.Move(3, 1);
    EXPECT_EQ(l.Text(), "0\r\n3\r\n1\r\n2\r\n");
    l.Delete(0);
    l.Insert(3, "9");
    EXPECT_EQ(l.Text(), "3\r\n1\r\n2\r\n9\r\n");
    EXPECT_THROW(l.Delete(4), std::out_of_range);
}

TEST(StringList, SavesAndLoadsBytesUnchanged)
{
    TStringList l;
    l.Add("/music/\xe6\x9b\xb2.ogg");
    l.Add("\x83\x65\x83\x58\x83\x67.qv");  // Shift-JIS bytes stay as they are
    std::string path = fixture::TempDir() + "/list.m3u";
    l.SaveToFile(path);
    TStringList r;
    r.LoadFromFile(path);
    EXPECT_EQ(r.Lines(), l.Lines());
    EXPECT_THROW(r.LoadFromFile(fixture::TempDir() + "/nope.m3u"), EFileError);
}

TEST(MemoryStream, ReadsWritesAndSeeksLikeAFile)
{
    TMemoryStream s;
    s.Write("abcdef", 6);
    EXPECT_EQ(s.Position(), 6);
    EXPECT_EQ(s.Seek(-2, TMemoryStream::soEnd), 4);
    char buf[8] = {};
    EXPECT_EQ(s.Read(buf, 8), 2u);
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(s.Read(buf, 8), 0u);
    EXPECT_EQ(s.Seek(10, TMemoryStream::soBeginning), 10);
    EXPECT_EQ(s.Read(buf, 1), 0u);
    s.SetSize(3);
    EXPECT_EQ(s.Position(), 3);
    EXPECT_EQ(s.Size(), 3);
    EXPECT_THROW(s.LoadFromFile(fixture::TempDir() + "/absent.ogg"), EFileError);
}

TEST(Paths, FileNamePartAndExtensionRule)
{
    EXPECT_EQ(Paths::ExtractFileName("/a/b/song.ogg"), "song.ogg");
    EXPECT_EQ(Paths::ExtractFileName("song.ogg"), "song.ogg");
    EXPECT_EQ(Paths::ExtractFilePath("/a/b/song.ogg"), "/a/b/");
    EXPECT_EQ(Paths::ExtractFilePath("song.ogg"), "");
    EXPECT_EQ(Paths::ExtractFileExt("/a/b/song.OGG"), ".OGG");
    EXPECT_EQ(Paths::ExtractFileExt("/a.dir/song"), "");
    EXPECT_EQ(Paths::ExtractFileExt("/a/b/archive.tar.qv"), ".qv");
    EXPECT_EQ(Paths::ExtractFileExt("noext"), "");
    EXPECT_EQ(Paths::ExpandFileName("/a/./b/../c.ogg"), "/a/c.ogg");
    EXPECT_EQ(Paths::ExpandFileName("x.ogg"), Paths::GetCurrentDir() + "/x.ogg");
}

TEST(RangeError, FormatsItsMessage)
{
    ERangeError e = ERangeError::CreateFmt("関数(%s)の所得に失敗しました", "wu_ScaleOutput");
    EXPECT_STREQ(e.what(), "関数(wu_ScaleOutput)の所得に失敗しました");
}

TEST(AtomicFile, ReplacesWholeOrLeavesTheOldFile)
{
    std::string dir = fixture::TempDir() + "/atomic";
    std::filesystem::create_directories(dir);
    std::string path = dir + "/f.bin";
    AtomicFile::Write(path, "old", 3);
    AtomicFile::Write(path, "newer", 5);
    EXPECT_EQ(fixture::ReadFile(path).size(), 5u);
    if (::geteuid() != 0) {  // root writes through permissions
        ::chmod(dir.c_str(), 0555);
        EXPECT_FALSE(AtomicFile::TryWrite(path, "x", 1));
        ::chmod(dir.c_str(), 0755);
        EXPECT_EQ(fixture::ReadFile(path).size(), 5u);
    }
    EXPECT_FALSE(AtomicFile::TryWrite(dir + "/no/such/dir/f", "x", 1));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 1);
}

TEST(TickCount, CanBePinnedAndAdvanced)
{
    TickCount::Pin(0xFFFFFFF0u);
    EXPECT_EQ(TickCount::Get(), 0xFFFFFFF0u);
    TickCount::Advance(0x20);
    EXPECT_EQ(TickCount::Get(), 0x10u);
    TickCount::Release();
    uint32_t a = TickCount::Get();
    uint32_t b = TickCount::Get();
    EXPECT_LE(static_cast<uint32_t>(b - a), 1000u);
}

namespace {
// An object that counts its references and logs when it is freed.
struct Counted {
    int refs = 1;
    std::vector<int>* freed;
    int id;
    unsigned long AddRef() { return static_cast<unsigned long>(++refs); }
    unsigned long Release()
    {
        if (--refs == 0)
            freed->push_back(id);
        return static_cast<unsigned long>(refs);
    }
};
} // namespace

TEST(ComPtr, EachReferenceIsLetGoExactlyOnceInTheOrderOfTheResets)
{
    std::vector<int> freed;
    Counted a{1, &freed, 1}, b{1, &freed, 2}, c{1, &freed, 3};
    {
        TComPtr<Counted> first(&a);
        TComPtr<Counted> shared = TComPtr<Counted>::Share(&a);  // a second reference to a
        EXPECT_EQ(a.refs, 2);
        TComPtr<Counted> moved(std::move(first));  // moving hands the reference on
        EXPECT_EQ(first, nullptr);
        EXPECT_FALSE(first.Reset());
        *moved.Put() = &b;  // an out parameter: a's reference goes first, b's is taken
        EXPECT_EQ(a.refs, 1);
        moved = TComPtr<Counted>(&c);  // b goes
        EXPECT_EQ(freed, std::vector<int>{2});
        EXPECT_TRUE(shared.Reset());  // a goes
        EXPECT_FALSE(shared.Reset());
    }  // c goes with its owner
    EXPECT_EQ(freed, (std::vector<int>{2, 1, 3}));
}
