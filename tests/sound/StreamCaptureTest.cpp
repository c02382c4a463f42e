// What the stream player plays, captured by SDL's disk driver in real time, against the blocks
// TOggData renders for the same file: same bytes, same order, nothing dropped or repeated.
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "SoundTestSupport.h"
#include "TDSOggStream.h"
#include "TDXSound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

using namespace soundtest;
using namespace std::chrono_literals;

namespace {

using Frames = std::vector<uint32_t>;  // one stereo frame per element

constexpr DWORD kHalf = OutputFormat::BlockBytes;

Frames AsFrames(const std::vector<uint8_t>& bytes)
{
    Frames f(bytes.size() / 4);
    std::memcpy(f.data(), bytes.data(), f.size() * 4);
    return f;
}

// The blocks a fresh TOggData renders for the file, up to and including the one that reaches
// the end.
Frames RenderedBlocks(const std::string& path)
{
    TOggData data(OutputFormat::StreamBufferBytes);
    EXPECT_TRUE(data.LoadOgg(path));
    data.Play(false);
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 100 && data.GetPlayState() != psSTOP; ++i) {
        data.Rendering();
        bytes.insert(bytes.end(), data.Offset(), data.Offset() + OutputFormat::BlockBytes);
    }
    return AsFrames(bytes);
}

size_t Find(const Frames& hay, const Frames& needle, size_t from, size_t at, size_t length)
{
    if (from >= hay.size()) {
        return hay.size();
    }
    auto it = std::search(hay.begin() + static_cast<std::ptrdiff_t>(from), hay.end(),
                          needle.begin() + static_cast<std::ptrdiff_t>(at),
                          needle.begin() + static_cast<std::ptrdiff_t>(at + length));
    return static_cast<size_t>(it - hay.begin());
}

class Capture : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }

    // Plays the file to its end on the disk driver as the main window does (mute once it has
    // ended, then let the buffer play out); act() is where the caller may act on the stream.
    template <typename Act>
    Frames PlayCaptured(const std::string& path, const std::string& out, Act act)
    {
        UseDiskDriver(out);
        {
            TDXSound sound;
            TSoundFormat format{OutputFormat::Rate};
            EXPECT_TRUE(sound.Init(nullptr, &format));
            TDSOggStream stream;
            stream.Init(&sound);
            EXPECT_TRUE(stream.Play(path, false));
            act(stream);
            const auto end = std::chrono::steady_clock::now() + 30s;
            while (stream.IsPlaying() && std::chrono::steady_clock::now() < end) {
                std::this_thread::sleep_for(10ms);
            }
            stream.MarkFinished();
            std::this_thread::sleep_for(2300ms);
        }
        UseDummyDriver();
        return AsFrames(fixture::ReadFile(out));
    }
};

}

TEST_F(Capture, HeardSoundIsTheRenderedBlocksInOrder)
{
    const std::string path = fixture::WriteTemp(fixture::Encode(fixture::Noise(3.3)), "capture.ogg");
    const Frames expected = RenderedBlocks(path);
    ASSERT_EQ(expected.size(), 4u * 44100);
    const Frames heard = PlayCaptured(path, fixture::TempDir() + "/capture.raw", [](TDSOggStream&) {});

    const size_t start = Find(heard, expected, 0, 0, 256);
    ASSERT_LT(start, heard.size()) << "the first block was never heard";
    ASSERT_LE(start + expected.size(), heard.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        ASSERT_EQ(heard[start + i], expected[i]) << "first difference at frame " << i << " (block " << i / 44100 << ")";
    }
    // Before and after: silence only.
    EXPECT_TRUE(std::all_of(heard.begin(), heard.begin() + static_cast<std::ptrdiff_t>(start), [](uint32_t f) { return f == 0; }));
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<std::ptrdiff_t>(start + expected.size()), heard.end(),
                            [](uint32_t f) { return f == 0; }));
}

TEST_F(Capture, APauseInsertsSilenceAndLosesNothing)
{
    const std::string path = fixture::WriteTemp(fixture::Encode(fixture::Noise(3.3)), "pause.ogg");
    const Frames expected = RenderedBlocks(path);
    const Frames heard = PlayCaptured(path, fixture::TempDir() + "/pause.raw", [](TDSOggStream& stream) {
        // Pause in the middle of a half, when the stream thread is idle, then resume.
        for (;;) {
            DWORD play = 0;
            stream.GetPlayBuffer()->GetCurrentPosition(&play, nullptr);
            if (play > kHalf + 60000 && play < kHalf + 120000) {
                break;
            }
            std::this_thread::sleep_for(2ms);
        }
        stream.Pause();
        std::this_thread::sleep_for(500ms);
        stream.Pause();
    });

    const size_t start = Find(heard, expected, 0, 0, 256);
    ASSERT_LT(start, heard.size());
    size_t k = 0;
    while (k < expected.size() && start + k < heard.size() && heard[start + k] == expected[k]) {
        ++k;
    }
    ASSERT_LT(k, expected.size()) << "no pause was heard";
    EXPECT_GT(k, 44100u);
    // The gap is silent, and playing goes on exactly where it stopped.
    const size_t resumed = Find(heard, expected, start + k, k, 256);
    ASSERT_LT(resumed, heard.size()) << "the sound after the pause was never heard";
    const size_t gap = resumed - (start + k);
    EXPECT_GT(gap, 44100u * 4 / 10);
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<std::ptrdiff_t>(start + k),
                            heard.begin() + static_cast<std::ptrdiff_t>(resumed), [](uint32_t f) { return f == 0; }));
    ASSERT_LE(resumed + (expected.size() - k), heard.size());
    for (size_t i = k; i < expected.size(); ++i) {
        ASSERT_EQ(heard[resumed + (i - k)], expected[i]) << "first difference at frame " << i;
    }
}
