// Outside input beyond the player's limits, refused cleanly: a file too large to hold in memory
// and names too long for the system. Each refusal must say what went wrong (or count as a missing
// file) and leave what was already open playing.
#include "EFileError.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "SoundTestSupport.h"
#include "TDSOggStream.h"
#include "TDXSound.h"
#include "TMemoryStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

std::string GoodFile()
{
    static const std::string path =
        fixture::WriteTemp(fixture::Encode(fixture::Sine(2.0), {"TITLE=good"}, 0.0f), "good.ogg");
    return path;
}

// A sparse file one byte larger than memory may hold: it takes no disk space.
std::string HugeFile()
{
    static const std::string path = [] {
        const std::string p = fixture::TempDir() + "/huge.ogg";
        fixture::WriteTemp({'O', 'g', 'g', 'S'}, "huge.ogg");
        std::filesystem::resize_file(p, static_cast<uintmax_t>(TMemoryStream::MaxLoadSize()) + 1);
        return p;
    }();
    return path;
}

std::string TooLongNames(int which)
{
    // A name part longer than any file system takes, and a path longer than the system's limit.
    return which == 0 ? fixture::TempDir() + "/" + std::string(300, 'n') + ".ogg"
                      : fixture::TempDir() + "/" + std::string(5000, 'p') + ".ogg";
}

class Limits : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }

    // A sound device on SDL's dummy driver and a stream player on it.
    struct Player {
        Player()
        {
            soundtest::UseDummyDriver();
            TSoundFormat format{OutputFormat::Rate};
            EXPECT_TRUE(sound.Init(reinterpret_cast<HWND>(1), &format));
            EXPECT_TRUE(stream.Init(&sound));
        }
        TDXSound sound;
        TDSOggStream stream;
    };
};

}

TEST_F(Limits, AFileTooLargeForMemoryIsRefusedWithAMessageBeforeAnythingIsAllocated)
{
    TMemoryStream stream;
    stream.Write("kept", 4);
    try {
        stream.LoadFromFile(HugeFile());
        FAIL() << "a file larger than memory was taken";
    } catch (const EFileError& e) {
        EXPECT_NE(std::string(e.what()).find("メモリーに読み込めない大きさです"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("huge.ogg"), std::string::npos) << e.what();
    }
    EXPECT_EQ(stream.Size(), 4);  // the stream keeps what it held
}

TEST_F(Limits, AFileTooLargeForMemoryLeavesTheOpenFilePlaying)
{
    TOggData ogg(OutputFormat::StreamBufferBytes);
    ASSERT_TRUE(ogg.LoadOgg(GoodFile()));
    ogg.Play(false);
    EXPECT_THROW(ogg.LoadOgg(HugeFile()), EFileError);
    EXPECT_TRUE(ogg.Loaded.load());
    EXPECT_EQ(ogg.GetPlayState(), psPLAY);
    std::vector<uint8_t> block(OutputFormat::BlockBytes);
    EXPECT_EQ(ogg.RenderingToPointer(block.data(), OutputFormat::BlockBytes), OutputFormat::BlockBytes);
}

TEST_F(Limits, TheStreamPlayerRefusesAHugeFileAndPlaysTheNextOne)
{
    Player player;
    TDSOggStream& stream = player.stream;
    ASSERT_TRUE(stream.Play(GoodFile(), false));
    EXPECT_THROW(stream.Play(HugeFile(), false), EFileError);
    EXPECT_THROW(stream.GetTitle(HugeFile()), EFileError);
    EXPECT_FALSE(stream.HasStreamThread());
    ASSERT_TRUE(stream.Play(GoodFile(), false));
    EXPECT_TRUE(stream.IsPlaying());
    EXPECT_EQ(stream.GetTitle(GoodFile()), "good");
}

TEST_F(Limits, NamesTooLongForTheSystemCountAsMissingFiles)
{
    Player player;
    TDSOggStream& stream = player.stream;
    TOggData ogg(0);
    ASSERT_TRUE(ogg.LoadOgg(GoodFile()));
    for (int which = 0; which < 2; ++which) {
        const std::string name = TooLongNames(which);
        EXPECT_FALSE(ogg.LoadOgg(name));
        EXPECT_TRUE(ogg.Loaded.load());  // the file opened before stays open
        EXPECT_FALSE(stream.Play(name, false));
        EXPECT_EQ(stream.GetFileName(), name);  // kept whole for the trace, never cut
        EXPECT_EQ(stream.GetTitle(name), "");
    }
}
