// The looped-Ogg container: reading its header (LoadLoop, through LoadOgg) and writing it (SaveOstraOgg).
#include "EFileError.h"
#include "ERangeError.h"
#include "OggDataLib.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::unique_ptr<TMemoryStream> StreamOf(const std::vector<uint8_t>& bytes, int64_t at = 0)
{
    auto s = std::make_unique<TMemoryStream>();
    s->Write(bytes.data(), bytes.size());
    s->SetPosition(at);
    return s;
}

void ExpectLoop(const TOggLoop& l, float start, float end, int32_t count)
{
    EXPECT_EQ(l.LoopStart, start);
    EXPECT_EQ(l.LoopEnd, end);
    EXPECT_EQ(l.RepeatCount, count);
}

class Container : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }
    static void TearDownTestSuite() { _VorbisfileFinalize(); }

    static const std::vector<uint8_t>& Ogg()
    {
        static std::vector<uint8_t> ogg = fixture::Encode(fixture::Sine(3.0), {"TITLE=loop"});
        return ogg;
    }
    static std::vector<fixture::LoopEntry> Table()
    {
        return {{1.0f, 2.5f, -1}, {0.25f, 0.75f, 3}, {2.0f, 1.0f, 0}};
    }
};

TEST_F(Container, HeaderNeedsTheMagicAndAWhole200Bytes)
{
    TOggData d(0);
    // 199 bytes beginning with the magic: not a container.
    auto header = fixture::ContainerHeader(Table());
    auto s199 = StreamOf(std::vector<uint8_t>(header.begin(), header.begin() + 199));
    EXPECT_FALSE(d.LoadLoop(s199.get()));
    EXPECT_EQ(s199->Position(), 0);
    ExpectLoop(d.Loops[0], 0, 0, 0);

    // Exactly 200 bytes: a container with nothing behind it.
    auto s200 = StreamOf(header);
    EXPECT_TRUE(d.LoadLoop(s200.get()));
    EXPECT_EQ(s200->Position(), 200);
    ExpectLoop(d.Loops[0], 1.0f, 2.5f, -1);
    ExpectLoop(d.Loops[1], 0.25f, 0.75f, 3);
    ExpectLoop(d.Loops[2], 2.0f, 1.0f, 0);
    ExpectLoop(d.Loops[15], 0, 0, 0);

    // A damaged magic, and a magic with less than a whole header behind the position: the
    // position and the table stay as they were.
    auto other = fixture::ContainerHeader({{9.0f, 9.5f, 1}});
    other[7] = 'X';
    auto bad = StreamOf(Concat(other, Ogg()));
    EXPECT_FALSE(d.LoadLoop(bad.get()));
    EXPECT_EQ(bad->Position(), 0);
    auto late = StreamOf(Concat(std::vector<uint8_t>(100, 0), std::vector<uint8_t>(header.begin(), header.begin() + 150)), 100);
    EXPECT_FALSE(d.LoadLoop(late.get()));
    EXPECT_EQ(late->Position(), 100);
    EXPECT_FALSE(d.LoadLoop(nullptr));
    ExpectLoop(d.Loops[0], 1.0f, 2.5f, -1);

    // A header further into a stream is found at the position.
    auto inner = StreamOf(Concat(std::vector<uint8_t>(10, 'z'), fixture::ContainerHeader({{4.0f, 5.0f, 2}})), 10);
    EXPECT_TRUE(d.LoadLoop(inner.get()));
    EXPECT_EQ(inner->Position(), 210);
    ExpectLoop(d.Loops[0], 4.0f, 5.0f, 2);
    ExpectLoop(d.Loops[1], 0, 0, 0);
}

TEST_F(Container, HeaderAloneLoadsItsTableThenFailsInTheDecoder)
{
    TOggData d(0);
    EXPECT_THROW(d.LoadOgg(StreamOf(fixture::ContainerHeader(Table())).release()), ERangeError);
    EXPECT_FALSE(d.Loaded);
    EXPECT_EQ(d.FileData, nullptr);
    ExpectLoop(d.Loops[0], 1.0f, 2.5f, -1);

    // A 199-byte file with the magic is just a file the decoder cannot read.
    TOggData e(0);
    auto h = fixture::ContainerHeader(Table());
    EXPECT_THROW(e.LoadOgg(StreamOf(std::vector<uint8_t>(h.begin(), h.begin() + 199)).release()), ERangeError);
    ExpectLoop(e.Loops[0], 0, 0, 0);
}

TEST_F(Container, ContentDecidesNotTheName)
{
    auto ref = fixture::ReferenceDecode(Ogg());
    auto asOgg = fixture::WriteTemp(Concat(fixture::ContainerHeader(Table()), Ogg()), "container.ogg");
    auto asQv = fixture::WriteTemp(Ogg(), "plain.qv");

    TOggData d(0);
    ASSERT_TRUE(d.LoadOgg(asOgg));
    EXPECT_EQ(d.DataStart, 200);
    ExpectLoop(d.Loops[0], 1.0f, 2.5f, -1);
    EXPECT_EQ(d.PcmBytes, ref.Frames() * 4);
    EXPECT_EQ(d.CommentList->Values("title"), "loop");
    EXPECT_TRUE(d.SeekAble());

    // A plain file after a container keeps the container's table; a fresh object has none.
    ASSERT_TRUE(d.LoadOgg(asQv));
    EXPECT_EQ(d.DataStart, 0);
    ExpectLoop(d.Loops[0], 1.0f, 2.5f, -1);
    EXPECT_EQ(d.PcmBytes, ref.Frames() * 4);
    TOggData fresh(0);
    ASSERT_TRUE(fresh.LoadOgg(asQv));
    for (const auto& l : fresh.Loops)
        ExpectLoop(l, 0, 0, 0);
}

TEST_F(Container, SavingAPlainFilePutsExactly200BytesInFront)
{
    auto plain = fixture::WriteTemp(Ogg(), "save-plain.ogg");
    auto out = fixture::TempDir() + "/save-plain.qv";
    TOggData d(0);
    ASSERT_TRUE(d.LoadOgg(plain));
    ASSERT_TRUE(d.SaveOstraOgg(out));
    auto saved = fixture::ReadFile(out);
    std::vector<uint8_t> expected(200, 0);
    std::memcpy(expected.data(), "OSTRAOGG", 8);
    EXPECT_EQ(saved, Concat(expected, Ogg()));
}

TEST_F(Container, SavingALoadedContainerReproducesIt)
{
    auto file = Concat(fixture::ContainerHeader(Table()), Ogg());
    auto in = fixture::WriteTemp(file, "round.qv");
    auto out = fixture::TempDir() + "/round-out.qv";
    TOggData d(0);
    ASSERT_TRUE(d.LoadOgg(in));
    // Saving while the decoder stands somewhere in the stream changes nothing.
    d.Play(false);
    std::vector<uint8_t> block(44100);
    d.RenderingToPointer(block.data(), static_cast<int32_t>(block.size()));
    ASSERT_TRUE(d.SaveOstraOgg(out));
    EXPECT_EQ(fixture::ReadFile(out), file);

    // Saving onto the very file that is loaded is fine too: the content is in memory.
    d.Loops[3] = TOggLoop{0.5f, 1.5f, 7};
    ASSERT_TRUE(d.SaveOstraOgg(in));
    TOggData e(0);
    ASSERT_TRUE(e.LoadOgg(in));
    ExpectLoop(e.Loops[3], 0.5f, 1.5f, 7);
    ExpectLoop(e.Loops[0], 1.0f, 2.5f, -1);
    EXPECT_EQ(fixture::ReadFile(in).size(), file.size());
}

TEST_F(Container, NothingLoadedWritesNothing)
{
    auto out = fixture::TempDir() + "/never.qv";
    TOggData d(0);
    EXPECT_FALSE(d.SaveOstraOgg(out));
    EXPECT_FALSE(std::filesystem::exists(out));
    // Nor after a failed load.
    EXPECT_THROW(d.LoadOgg(StreamOf(std::vector<uint8_t>(500, 'q')).release()), ERangeError);
    EXPECT_FALSE(d.SaveOstraOgg(out));
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(Container, FailedSaveRaisesFileError)
{
    TOggData d(0);
    ASSERT_TRUE(d.LoadOgg(StreamOf(Ogg()).release()));
    EXPECT_THROW(d.SaveOstraOgg(fixture::TempDir() + "/no/such/dir/x.qv"), EFileError);
}

TEST_F(Container, FailedSaveOverADirectoryLeavesItAndNoPartialFile)
{
    TOggData d(0);
    ASSERT_TRUE(d.LoadOgg(StreamOf(Ogg()).release()));
    // A name that is a directory cannot be replaced; it and its content stay, and no partial
    // file is left beside it.
    auto taken = fixture::TempDir() + "/taken";
    auto inside = fixture::WriteTemp({'k'}, "taken/keep");
    EXPECT_THROW(d.SaveOstraOgg(taken), EFileError);
    EXPECT_TRUE(std::filesystem::is_directory(taken));
    EXPECT_EQ(fixture::ReadFile(inside), std::vector<uint8_t>{'k'});
    for (const auto& entry : std::filesystem::directory_iterator(fixture::TempDir()))
        EXPECT_EQ(entry.path().filename().string().find("taken.tmp"), std::string::npos) << entry.path();
}

TEST_F(Container, FailedSaveInAReadOnlyDirectoryLeavesTheOldFileWhole)
{
    TOggData d(0);
    ASSERT_TRUE(d.LoadOgg(StreamOf(Ogg()).release()));

    // A file in a directory we may not write to: creating beside it fails, the file stays.
    auto dir = fixture::TempDir() + "/readonly";
    std::filesystem::create_directories(dir);
    auto old = fixture::WriteTemp({'o', 'l', 'd'}, "readonly/old.qv");
    std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (std::FILE* probe = std::fopen((dir + "/probe").c_str(), "wb")) {
        std::fclose(probe);
        std::filesystem::remove(dir + "/probe");
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
        GTEST_SKIP() << "running with rights that write anywhere";
    }
    EXPECT_THROW(d.SaveOstraOgg(old), EFileError);
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    EXPECT_EQ(fixture::ReadFile(old), (std::vector<uint8_t>{'o', 'l', 'd'}));
}

}
