// One piece running on into the next one queued, on the test device that takes frames only when
// told (TManualAudioDevice): what is heard is the first piece to its last frame and then the
// second from its first, with nothing between, and the stream goes over to the second once it is
// heard.
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TDSOggStream.h"
#include "TDXSound.h"
#include "TManualAudioDevice.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using fixture::WaitFor;
using namespace std::chrono_literals;

namespace {

using Samples = std::vector<int16_t>;
constexpr int Rate = OutputFormat::Rate;

fixture::Pcm Part(const fixture::Pcm& whole, int64_t from, int64_t frames)
{
    fixture::Pcm p = whole;
    const auto c = static_cast<size_t>(whole.channels);
    p.samples.assign(whole.samples.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(from) * c),
                     whole.samples.begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(from + frames) * c));
    return p;
}

// The piece as the engine renders it from its start, its sound only.
Samples Straight(const std::string& path)
{
    TOggData data(OutputFormat::StreamBufferBytes);
    EXPECT_TRUE(data.LoadOgg(path));
    data.Play(false);
    Samples out;
    while (data.GetPlayState() != psSTOP && out.size() < 60u * Rate * 2) {
        Samples block(OutputFormat::BlockBytes / 2);
        const int32_t n = data.RenderBlock({reinterpret_cast<uint8_t*>(block.data()), block.size() * 2}, {}, false);
        out.insert(out.end(), block.begin(), block.begin() + n / 2);
    }
    return out;
}

// The longest run of frames with both channels at zero inside samples (not at either end).
int64_t LongestInnerSilence(const Samples& s)
{
    const auto frames = static_cast<int64_t>(s.size() / 2);
    auto silent = [&](int64_t f) { return s[static_cast<size_t>(f * 2)] == 0 && s[static_cast<size_t>(f * 2 + 1)] == 0; };
    int64_t first = 0;
    int64_t last = frames - 1;
    while (first < frames && silent(first))
        ++first;
    while (last > first && silent(last))
        --last;
    int64_t longest = 0;
    int64_t run = 0;
    for (int64_t f = first; f <= last; ++f) {
        run = silent(f) ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

class Gapless : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
        // Two halves of one tone, cut at a frame inside a block; a piece of other content at
        // another rate, converted on its way to the device.
        const fixture::Pcm tone = fixture::Sine(5.0, {440.0, 555.0});
        const int64_t cut = 2 * Rate + 12345;
        firstHalf = fixture::WriteTemp(fixture::Encode(Part(tone, 0, cut)), "gapless-a.ogg");
        secondHalf = fixture::WriteTemp(fixture::Encode(Part(tone, cut, tone.Frames() - cut)), "gapless-b.ogg");
        other = fixture::WriteTemp(fixture::Encode(fixture::Noise(2.0, 2, 22050, 0.3, 7)), "gapless-22k.ogg");
    }
    void SetUp() override
    {
        TSoundFormat format{Rate};
        ASSERT_TRUE(sound.Init(nullptr, &format));
        stream.Init(&sound);
    }

    // As LoopPassTest's: a chunk at a time, each refill waited for, from the first sound on.
    Samples Take(int64_t frames)
    {
        Samples heard;
        int idle = 0;
        while (frames > 0) {
            Samples s = device.Consume(static_cast<int>(std::min<int64_t>(frames, 2048)));
            if (!started) {
                const auto sound = std::find_if(s.begin(), s.end(), [](int16_t v) { return v != 0; });
                s.erase(s.begin(), sound - (sound - s.begin()) % 2);
                if (s.empty()) {
                    std::this_thread::sleep_for(2ms);
                    if (++idle > 2000) {
                        ADD_FAILURE() << "the buffer never started";
                        return heard;
                    }
                    continue;
                }
                started = true;
            }
            heard.insert(heard.end(), s.begin(), s.end());
            frames -= static_cast<int64_t>(s.size() / 2);
            position += static_cast<int64_t>(s.size() / 2);
            const int64_t blocks = 2 + (position - 1) / Rate;
            EXPECT_TRUE(WaitFor([&] { return stream.CopiedBlocks() >= blocks; }, 5s));
        }
        return heard;
    }

    inline static std::string firstHalf;
    inline static std::string secondHalf;
    inline static std::string other;
    TManualAudioDevice device;
    TDXSound sound;
    TDSOggStream stream;
    bool started = false;
    int64_t position = 0;
};

}

TEST_F(Gapless, TheQueuedPieceFollowsTheLastFrameAndIsTakenOverOnceHeard)
{
    struct Case {
        const char* what;
        std::string next;
        bool exact;         // the same rate: the next piece's frames follow at once, as rendered alone
        int64_t maxSilence; // frames of silence allowed between the two
    };
    const Case cases[] = {
        {"the second half of one tone", secondHalf, true, 0},
        {"a piece at another rate, converted", other, false, Rate / 50},
    };
    const Samples a = Straight(firstHalf);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Samples b = Straight(c.next);
        started = false;
        position = 0;
        ASSERT_TRUE(stream.Play(firstHalf, false));
        ASSERT_TRUE(stream.QueueNext(c.next));
        const auto aFrames = static_cast<int64_t>(a.size() / 2);
        const Samples heard = Take(aFrames + Rate);
        ASSERT_GE(heard.size(), a.size());
        EXPECT_TRUE(std::equal(a.begin(), a.end(), heard.begin())) << "the first piece to its last frame";
        EXPECT_LE(LongestInnerSilence(heard), c.maxSilence);
        if (c.exact) {
            EXPECT_TRUE(std::equal(heard.begin() + static_cast<std::ptrdiff_t>(a.size()), heard.end(), b.begin()))
                << "the second from its first frame";
        }
        // Heard: the stream goes over to the second piece, which plays on by itself.
        EXPECT_TRUE(stream.NextHeard());
        EXPECT_TRUE(stream.IsPlaying());
        ASSERT_TRUE(stream.TakeNext());
        EXPECT_EQ(stream.GetFileName(), c.next);
        EXPECT_FLOAT_EQ(stream.GetTotalTime(), stream.GetOggData()->TotalTime);
        EXPECT_NEAR(stream.GetOutputTime(), 1.0, 0.05);
        EXPECT_FALSE(stream.NextHeard());
        EXPECT_TRUE(stream.QueueNext(c.next)) << "the taken piece can have its own follower";
        EXPECT_FALSE(stream.NextBegun());
        stream.Stop();
    }
}
