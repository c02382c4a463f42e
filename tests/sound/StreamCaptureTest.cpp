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
#include <filesystem>
#include <functional>
#include <iostream>
#include <random>
#include <string>
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
    Frames PlayCaptured(const std::string& path, const std::string& out, int delayMs, Act act)
    {
        UseDiskDriver(out, delayMs);
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
    const Frames heard = PlayCaptured(path, fixture::TempDir() + "/capture.raw", -1, [](TDSOggStream&) {});

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
    const Frames heard = PlayCaptured(path, fixture::TempDir() + "/pause.raw", -1, [](TDSOggStream& stream) {
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

TEST_F(Capture, FiftyPausesAtRandomMomentsInsertOnlySilence)
{
    const std::string path = fixture::WriteTemp(fixture::Encode(fixture::Noise(5.3)), "pauses.ogg");
    const Frames expected = RenderedBlocks(path);
    std::mt19937 random(std::random_device{}());
    // The device runs about three times faster than real time, so that the moments near a
    // refill come quickly; the stream thread still has a third of a second for each block.
    const int fast = static_cast<int>(DSOutputFrames * 1000 / DSOutputRate / 3);
    const Frames heard = PlayCaptured(path, fixture::TempDir() + "/pauses.raw", fast, [&](TDSOggStream& stream) {
        // A third of the pauses anywhere; a third as the mix is about to enter a half (the
        // resume then comes right before a refill); a third just after it entered one (the
        // pause falls while the stream thread refills the other half).
        const DWORD callback = DSOutputFrames * 4;
        for (DWORD write = 0; write == 0; std::this_thread::sleep_for(1ms)) {
            stream.GetPlayBuffer()->GetCurrentPosition(nullptr, &write);
        }
        for (int i = 0; i < 50; ++i) {
            const auto end = std::chrono::steady_clock::now() + 1500ms;
            const DWORD from = i % 3 == 1 ? kHalf - callback : 0;
            const DWORD to = i % 3 == 1 ? kHalf : i % 3 == 2 ? callback : kHalf;
            const DWORD wait = static_cast<DWORD>(random() % 150);
            for (const auto begun = std::chrono::steady_clock::now();
                 std::chrono::steady_clock::now() < end;) {
                DWORD write = 0;
                stream.GetPlayBuffer()->GetCurrentPosition(nullptr, &write);
                const DWORD in = write % kHalf;
                if (i % 3 == 0 ? std::chrono::steady_clock::now() - begun >= std::chrono::milliseconds(wait)
                               : in >= from && in < to) {
                    break;
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
            stream.Pause();
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 40));
            stream.Pause();
        }
    });

    // Walk the capture: each frame is the next rendered one or inserted silence. No pause is
    // long enough for half a second of silence; a silent block written into the ring is.
    const size_t start = Find(heard, expected, 0, 0, 256);
    ASSERT_LT(start, heard.size()) << "the first block was never heard";
    size_t k = 0;
    size_t silent = 0;
    size_t run = 0;
    for (size_t i = start; i < heard.size() && k < expected.size(); ++i) {
        if (heard[i] == expected[k]) {
            ++k;
            run = 0;
        } else if (heard[i] == 0) {
            ++silent;
            ASSERT_LT(++run, 44100u / 2) << "a silent block at rendered frame " << k;
        } else {
            const size_t lost = Find(expected, heard, k, i, 64) - k;
            FAIL() << "at rendered frame " << k << " (captured " << i << ") the capture goes on with "
                   << (lost < expected.size() ? "frame " + std::to_string(k + lost) : std::string("unknown sound"))
                   << " after " << silent << " frames of inserted silence";
        }
    }
    EXPECT_EQ(k, expected.size()) << "the capture ends before the piece";
    EXPECT_GT(silent, 44100u / 10) << "the pauses were never heard";
}

TEST_F(Capture, PauseAndStopFallSilentWithin100Ms)
{
    const std::string path = fixture::WriteTemp(fixture::Encode(fixture::Noise(4.3)), "latency.ogg");
    const std::string out = fixture::TempDir() + "/latency.raw";
    // How much the device had written when each command was given; what it writes after that
    // was mixed before the command and can no longer be taken back.
    std::vector<size_t> given;
    const Frames heard = PlayCaptured(path, out, -1, [&](TDSOggStream& stream) {
        std::this_thread::sleep_for(800ms);
        given.push_back(std::filesystem::file_size(out) / 4);
        stream.Pause();
        std::this_thread::sleep_for(400ms);
        stream.Pause();
        std::this_thread::sleep_for(800ms);
        given.push_back(std::filesystem::file_size(out) / 4);
        stream.Stop();
        std::this_thread::sleep_for(400ms);
    });
    for (const size_t at : given) {
        ASSERT_LT(at + 44100 / 4, heard.size());
        ASSERT_NE(heard[at - 1], 0u) << "no sound when the command was given";
        size_t last = at;  // the first silent frame after the command
        for (size_t i = at; i < at + 44100 / 4; ++i) {
            if (heard[i] != 0) {
                last = i + 1;
            }
        }
        std::cout << "sound went on for " << (last - at) * 1000 / 44100 << " ms after the command\n";
        EXPECT_LT(last - at, 44100u / 10);
    }
}

namespace {

// A seek as the test gave it: how much the device had taken when it was given (or, for a seek
// while paused, when the resume was), the place asked for, and the time shown right after it.
struct SeekGiven {
    size_t taken = 0;
    double asked = 0.0;
    float shown = 0.0f;
};

// A jump in the capture: at captured frame `at`, the sound goes on from rendered frame `to`.
struct Jump {
    size_t at = 0;
    size_t to = 0;
};

// Walks the capture against the piece's rendered frames: each frame is the next one, inserted
// silence (a pause), or the start of a jump elsewhere in the piece. Fails on sound that is not
// in the piece. lastSound: the captured frame after the piece's last sound.
std::vector<Jump> WalkJumps(const Frames& heard, const Frames& expected, size_t& lastSound)
{
    std::vector<Jump> jumps;
    size_t piece = expected.size();
    while (piece > 0 && expected[piece - 1] == 0) {
        --piece;
    }
    size_t k = 0;
    size_t i = Find(heard, expected, 0, 0, 256);
    EXPECT_LT(i, heard.size()) << "the first block was never heard";
    lastSound = heard.size();
    for (; i < heard.size() && k < expected.size(); ++i) {
        if (heard[i] == expected[k]) {
            if (++k == piece) {
                lastSound = i + 1;
            }
            continue;
        }
        if (heard[i] == 0) {
            continue;
        }
        const size_t to = i + 256 <= heard.size() ? Find(expected, heard, 0, i, 256) : expected.size();
        if (to >= expected.size()) {
            ADD_FAILURE() << "captured frame " << i << " is no sound of the piece (after rendered frame " << k << ")";
            return jumps;
        }
        jumps.push_back({i, to});
        k = to + 1;
        if (k == piece) {
            lastSound = i + 1;
        }
    }
    EXPECT_EQ(k, expected.size()) << "the capture ends before the piece";
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<std::ptrdiff_t>(std::min(i, heard.size())), heard.end(),
                            [](uint32_t f) { return f == 0; }))
        << "sound after the piece's end";
    return jumps;
}

void WaitUntil(const std::function<bool()>& done)
{
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(done()) << "timed out";
}

struct SeekCase {
    const char* name;
    double seconds;  // the piece's length
    // Acts on the stream; seek(step) gives a seek and notes it; resume() resumes a pause and
    // makes the last seek's moment the resume's; ended() notes how much the device had taken
    // when the stream reported the piece's end as heard.
    using Step = std::function<void(double)>;
    using Call = std::function<void()>;
    std::function<void(TDSOggStream&, const Step&, const Call&, const Call&)> act;
};

}

TEST_F(Capture, ASeekIsHeardWithin150MsAndLosesOrRepeatsNothing)
{
    // Under the sanitizers every thread runs several times slower, and rendering the seek takes
    // longer than a chunk of the device: those builds look for races here, not for the latency.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
    constexpr size_t kLatency = 44100;
#else
    constexpr size_t kLatency = 44100 * 150 / 1000;
#endif
    // The device may take a chunk between the seek's return and the reading of the time.
    constexpr double kChunk = static_cast<double>(DSOutputFrames) / 44100;
    const SeekCase cases[] = {
        {"forward, then back", 8.3,
         [&](TDSOggStream& s, auto& seek, auto&, auto&) {
             WaitUntil([&] { return s.GetOutputTime() >= 1.3f; });
             seek(3.0);
             std::this_thread::sleep_for(700ms);
             seek(-2.5);
         }},
        {"forward near the end", 6.3,
         [&](TDSOggStream& s, auto& seek, auto&, auto& ended) {
             WaitUntil([&] { return s.GetOutputTime() >= 1.2f; });
             seek(6.3 - 0.6 - s.GetOutputTime());
             WaitUntil([&] { return !s.IsPlaying(); });
             ended();
         }},
        {"while paused, heard from the resume", 6.3,
         [&](TDSOggStream& s, auto& seek, auto& resume, auto&) {
             WaitUntil([&] { return s.GetOutputTime() >= 1.2f; });
             s.Pause();
             std::this_thread::sleep_for(200ms);
             seek(2.0);
             resume();
         }},
        {"while paused, to the end", 4.3,
         [&](TDSOggStream& s, auto& seek, auto& resume, auto& ended) {
             WaitUntil([&] { return s.GetOutputTime() >= 1.2f; });
             s.Pause();
             std::this_thread::sleep_for(200ms);
             seek(4.3 - 0.5 - s.GetOutputTime());
             resume();
             WaitUntil([&] { return !s.IsPlaying(); });
             ended();
         }},
        {"back after the data ended", 3.3,
         [&](TDSOggStream& s, auto& seek, auto&, auto&) {
             // The last block is rendered, its sound not yet all heard.
             WaitUntil([&] { return s.GetOggData()->GetPlayState() == psSTOP; });
             ASSERT_TRUE(s.IsPlaying());
             seek(-1.5);
         }},
    };
    for (const SeekCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = fixture::WriteTemp(fixture::Encode(fixture::Noise(c.seconds)), "seek.ogg");
        const std::string out = fixture::TempDir() + "/seek.raw";
        const Frames expected = RenderedBlocks(path);
        std::vector<SeekGiven> given;
        size_t endReported = 0;
        const Frames heard = PlayCaptured(path, out, -1, [&](TDSOggStream& stream) {
            const auto seek = [&](double step) {
                SeekGiven g;
                g.taken = std::filesystem::file_size(out) / 4;
                g.asked = stream.GetOutputTime() + step;
                EXPECT_FALSE(step < 0 ? stream.Rewind(static_cast<float>(-step)) : stream.Forward(static_cast<float>(step)));
                g.shown = stream.GetOutputTime();
                given.push_back(g);
            };
            const auto resume = [&] {
                std::this_thread::sleep_for(300ms);
                given.back().taken = std::filesystem::file_size(out) / 4;
                stream.Pause();
            };
            const auto ended = [&] { endReported = std::filesystem::file_size(out) / 4; };
            c.act(stream, seek, resume, ended);
        });
        size_t lastSound = 0;
        const std::vector<Jump> jumps = WalkJumps(heard, expected, lastSound);
        ASSERT_EQ(jumps.size(), given.size()) << "jumps heard against seeks given";
        for (size_t j = 0; j < jumps.size(); ++j) {
            const double place = static_cast<double>(jumps[j].to) / 44100;
            std::cout << c.name << ": seek " << j << " heard " << (static_cast<double>(jumps[j].at) - static_cast<double>(given[j].taken)) * 1000 / 44100
                      << " ms after it was given, at " << place << " s (asked " << given[j].asked << ", shown " << given[j].shown << ")\n";
            EXPECT_GE(jumps[j].at, given[j].taken) << "seek " << j;
            EXPECT_LE(jumps[j].at, given[j].taken + kLatency) << "seek " << j;
            EXPECT_NEAR(place, given[j].asked, 0.15) << "seek " << j;
            // Where the new sound starts later than the seek, the time shown runs up to it.
            const double later = static_cast<double>(kLatency) / 44100;
            EXPECT_GE(given[j].shown, place - later) << "seek " << j << ": the time shown at once";
            EXPECT_LE(given[j].shown, place + kChunk * (later > 0.5 ? 8 : 1) + 0.005)
                << "seek " << j << ": the time shown at once";
        }
        if (endReported != 0) {
            // The end is reported once its last sound has gone to the device, not before.
            EXPECT_GE(endReported + DSOutputFrames, lastSound);
            EXPECT_LE(endReported, lastSound + 44100 / 2);
        }
    }
}
