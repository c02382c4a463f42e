// Loops as the listener hears them, on the test device that takes frames only when told
// (TManualAudioDevice): the passes the stream counts, five-second steps that follow the piece
// with its loops unrolled, and places in the pass being heard. What is heard after each step is compared frame for frame with
// the piece rendered straight through by TOggData, from where that much more listening would be.
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TDSOggStream.h"
#include "TDXSound.h"
#include "TManualAudioDevice.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

using fixture::WaitFor;
using namespace std::chrono_literals;

namespace {

using Samples = std::vector<int16_t>;
constexpr int Rate = OutputFormat::Rate;

std::string Container(const std::string& name, const std::vector<fixture::LoopEntry>& loops)
{
    std::vector<uint8_t> bytes = fixture::ContainerHeader(loops);
    const std::vector<uint8_t> ogg = fixture::Encode(fixture::Noise(12.0, 2, Rate, 0.3, 21));
    bytes.insert(bytes.end(), ogg.begin(), ogg.end());
    return fixture::WriteTemp(bytes, name);
}

// The piece heard straight through for `blocks` seconds, and the passes from each frame on.
struct Listening {
    Samples samples;
    std::vector<std::pair<int64_t, int64_t>> passes;  // (frame, passes from it on)
    int64_t PassesAt(int64_t frame) const
    {
        int64_t p = 0;
        for (const auto& [at, n] : passes)
            if (at <= frame)
                p = n;
        return p;
    }
};

Listening Straight(const std::string& path, int blocks)
{
    TOggData data(OutputFormat::StreamBufferBytes);
    EXPECT_TRUE(data.LoadOgg(path));
    data.Play(false);
    Listening out;
    for (int i = 0; i < blocks; ++i) {
        data.Rendering();
        const auto* p = reinterpret_cast<const int16_t*>(data.Offset());
        for (const auto& m : data.BlockMarks())
            out.passes.emplace_back(int64_t{i} * Rate + m.Offset / 4, m.Passes);
        out.samples.insert(out.samples.end(), p, p + OutputFormat::BlockBytes / 2);
    }
    return out;
}

// Where heard stands in the piece near frame (within a few frames, for a place taken as a 32-bit
// time), or -1 when it is nowhere near.
int64_t Found(const Samples& heard, const Samples& piece, int64_t frame)
{
    for (int64_t d = 0; d <= 8; ++d) {
        for (const int64_t at : {frame - d, frame + d}) {
            const size_t from = static_cast<size_t>(std::max<int64_t>(at, 0)) * 2;
            if (from + heard.size() <= piece.size() && std::equal(heard.begin(), heard.end(), piece.begin() + from))
                return at;
        }
    }
    return -1;
}

class LoopPass : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }
    void SetUp() override
    {
        TSoundFormat format{Rate};
        ASSERT_TRUE(sound.Init(nullptr, &format));
        stream.Init(&sound);
    }

    // The device takes frames a chunk at a time; after a chunk that crossed into the other half
    // of the ring, the stream thread's refill of the half left behind is waited for, so that the
    // device, far faster than real time, never outruns it.
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
            // Block 0 at the start, block 1 at the first notification, then one per half passed
            // (a cursor that only reaches a half's start has not passed its notification yet).
            const int64_t blocks = 2 + (position - 1) / Rate;
            EXPECT_TRUE(WaitFor([&] { return stream.CopiedBlocks() >= blocks; }, 5s));
        }
        return heard;
    }

    TManualAudioDevice device;
    TDXSound sound;
    TDSOggStream stream;
    bool started = false;
    int64_t position = 0;
};

}

// Each case plays a piece, listens for a while, steps (or not), and listens on: what follows is
// the piece from where that much more listening would be, and the passes heard are the jumps
// back made up to there.
TEST_F(LoopPass, StepsFollowTheLoopAndThePassesAreTheJumpsHeard)
{
    const std::string endless = Container("pass-endless.qv", {{2.0f, 9.0f, -1}});
    const std::string once = Container("pass-once.qv", {{2.0f, 9.0f, 1}});
    // A finite repeat in the intro is part of the piece: only the endless loop's jumps are passes.
    const std::string intro = Container("pass-intro.qv", {{0.5f, 1.0f, 2}, {2.0f, 4.0f, -1}});
    const std::string shortLoop = Container("pass-short.qv", {{1.0f, 1.05f, -1}});
    struct Case {
        const char* what;
        std::string file;
        double listen;   // seconds heard before the step
        double step;     // seconds; 0: none
        double after;    // where the listening goes on, in seconds of listening
        int64_t passes;  // passes heard a second after that
        double place = -1.0;  // instead of a step: to the piece's own time in the pass heard
        bool moves = true;    // the place is taken
    };
    const Case cases[] = {
        {"forward across the loop's end lands inside the loop", endless, 8.0, 5.0, 13.0, 1},
        {"back just after a jump returns into the pass before it", endless, 10.0, -5.0, 5.0, 0},
        {"forward across two jumps", endless, 10.0, 9.0, 19.0, 2},
        {"forward across a loop with no jumps left plays the tail", once, 15.0, 2.0, 17.0, 1},
        {"a finite repeat in the intro is no pass", intro, 9.5, 0.0, 9.5, 3},
        {"a 50 ms loop counts every pass", shortLoop, 2.02, 0.0, 2.02, 40},
        {"forward across a 50 ms loop", shortLoop, 2.02, 5.0, 7.02, 140},
        // A place keeps the passes heard (the desktop's position is the piece's own time).
        {"a place later in the loop, the jump heard after it", endless, 10.0, 0.0, 15.0, 2, 8.0},
        {"a place in the intro", endless, 10.0, 0.0, 1.0, 1, 1.0},
        {"a place after a loop still to jump back is passed over", endless, 10.0, 0.0, 10.0, 1, 10.5, false},
        {"a place in the tail after the last pass", once, 17.0, 0.0, 18.0, 1, 11.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Listening piece = Straight(c.file, 24);
        started = false;
        position = 0;
        ASSERT_TRUE(stream.Play(c.file, false));
        const Samples before = Take(static_cast<int64_t>(c.listen * Rate));
        ASSERT_EQ(Found(before, piece.samples, 0), 0) << "the piece heard before the step";
        if (c.place >= 0.0) {
            EXPECT_EQ(stream.SeekTo(static_cast<float>(c.place)), c.moves);
        }
        if (c.step != 0.0) {
            const auto by = static_cast<float>(std::abs(c.step));
            ASSERT_FALSE(c.step < 0 ? stream.Rewind(by) : stream.Forward(by)) << "the step stays in the piece";
        }
        const Samples after = Take(Rate);
        const auto expected = static_cast<int64_t>(c.after * Rate);
        const int64_t at = Found(after, piece.samples, expected);
        EXPECT_NE(at, -1) << "what follows is not the piece from " << c.after << " s of listening on";
        EXPECT_EQ(stream.HeardPasses(), c.passes);
        if (c.place < 0.0) {
            EXPECT_EQ(piece.PassesAt(expected + Rate), c.passes) << "as heard straight through";
        }
        stream.Stop();
    }
}
