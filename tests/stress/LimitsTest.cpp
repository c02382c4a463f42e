// Outside input beyond the player's limits, refused cleanly: a file too large to hold in memory
// and names too long for the system. Each refusal must say what went wrong (or count as a missing
// file) and leave what was already open playing. And a system that will not give a thread or
// the sound device what it needs: an EResourceError, never a plain failure of the file.
#include "EFileError.h"
#include "EResourceError.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "SoundTestSupport.h"
#include "TDSOggStream.h"
#include "TDXSound.h"
#include "TMemoryStream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

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

// The address space held to what is mapped now and a little more (ulimit -v from inside), for
// the life of the object.
class TTightAddressSpace {
public:
    explicit TTightAddressSpace(uint64_t extra)
    {
        getrlimit(RLIMIT_AS, &saved_);
        std::ifstream statm("/proc/self/statm");
        uint64_t pages = 0;
        statm >> pages;
        rlimit tight = saved_;
        tight.rlim_cur = pages * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) + extra;
        setrlimit(RLIMIT_AS, &tight);
    }
    ~TTightAddressSpace() { setrlimit(RLIMIT_AS, &saved_); }
    TTightAddressSpace(const TTightAddressSpace&) = delete;
    TTightAddressSpace& operator=(const TTightAddressSpace&) = delete;

private:
    rlimit saved_{};
};

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

// The sanitizers' own reservations do not fit a tight address space (GCC and clang name them
// differently).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define OSTRA_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define OSTRA_SANITIZED 1
#endif
#endif

// Run in a process of its own (a death test re-executes the program for it): a thread that has
// ended leaves its stack cached for the next, which then needs no new address space.
TEST_F(Limits, AThreadOrDeviceTheSystemWillNotGiveIsAResourceErrorAndTheNextPlayWorks)
{
#ifdef OSTRA_SANITIZED
    GTEST_SKIP() << "the sanitizers' own reservations do not fit a tight address space";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto tightStarts = [] {
        soundtest::UseDummyDriver();
        GoodFile();
        std::string said;
        // Room for the buffers and the decoder, none for a thread's stack (8 MB).
        constexpr uint64_t room = 6u << 20;
        {
            TTightAddressSpace tight(room);
            TDXSound sound;
            TSoundFormat format{OutputFormat::Rate};
            try {
                sound.Init(reinterpret_cast<HWND>(1), &format);
            } catch (const EResourceError& e) {
                said += e.what();
            }
        }
        Player player;
        TDSOggStream& stream = player.stream;
        {
            TTightAddressSpace tight(room);
            try {
                stream.Play(GoodFile(), false);
            } catch (const EResourceError& e) {
                said += e.what();
            }
        }
        const bool playsAfter = stream.Play(GoodFile(), false) && stream.IsPlaying();
        std::fprintf(stderr, "%s|%s\n", said.c_str(), playsAfter ? "plays after" : "silent after");
        std::fflush(stderr);
        std::_Exit(0);
    };
    EXPECT_EXIT(tightStarts(), ::testing::ExitedWithCode(0),
                "サウンドデバイスを開けません.*再生スレッドを作れません.*\\|plays after");
}
