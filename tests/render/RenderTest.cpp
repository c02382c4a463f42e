// Rendering through the real decoder library, compared sample for sample with a direct
// libvorbisfile decode of the same file.
#include "OggDataLib.h"
#include "OggWuvorbisLib.h"
#include "TickCount.h"

#include "OggFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

constexpr int32_t kBlock = OutputFormat::BlockBytes;
constexpr int32_t kRing = OutputFormat::StreamBufferBytes;

struct Sample {
    std::vector<uint8_t> bytes;
    std::string path;
    fixture::Decoded ref;
};

Sample Make(const fixture::Pcm& pcm, const std::string& name)
{
    Sample s;
    s.bytes = fixture::Encode(pcm);
    s.path = fixture::WriteTemp(s.bytes, name);
    s.ref = fixture::ReferenceDecode(s.bytes);
    return s;
}

// 23.5 seconds of stereo noise: long enough for a loop from 10 s to 20 s, and not a whole
// number of blocks, so the end of the data falls inside a block.
const Sample& Long()
{
    static const Sample s = Make(fixture::Noise(23.5, 2, 44100, 0.4, 11), "long.ogg");
    return s;
}

const Sample& Short()
{
    static const Sample s = Make(fixture::Noise(2.7, 2, 44100, 0.4, 5), "short.ogg");
    return s;
}

// The container of a sample (Long() unless given) with the given loop entries.
std::string Container(const std::vector<fixture::LoopEntry>& loops, const std::string& name, const Sample& s = Long())
{
    auto bytes = fixture::ContainerHeader(loops);
    bytes.insert(bytes.end(), s.bytes.begin(), s.bytes.end());
    return fixture::WriteTemp(bytes, name);
}

// Full volumes and a flat equaliser pass each sample as it is.
int16_t Scaled(int16_t s)
{
    return s;
}

// s * num / den rounded to the nearest, halves away from zero: how the volume stage rounds.
int16_t Rounded(int64_t s, int64_t num, int64_t den)
{
    const int64_t p = s * num;
    return static_cast<int16_t>(p >= 0 ? (p + den / 2) / den : -((-p + den / 2) / den));
}

// Renders blocks of the given size one after another; returns the samples, results optional.
std::vector<int16_t> Render(TOggData& d, int blocks, std::vector<int32_t>* results = nullptr,
                            int32_t bytes = kBlock)
{
    std::vector<int16_t> out(static_cast<size_t>(blocks) * bytes / 2, 0x5555);
    for (int b = 0; b < blocks; ++b) {
        int32_t r = d.RenderingToPointer(out.data() + static_cast<size_t>(b) * bytes / 2, bytes);
        if (results)
            results->push_back(r);
    }
    return out;
}

// Compares count stereo frames of out from frame at with the reference from frame from.
::testing::AssertionResult SameFrames(const std::vector<int16_t>& out, int64_t at, const fixture::Decoded& ref,
                                      int64_t from, int64_t count)
{
    for (int64_t i = 0; i < count * 2; ++i) {
        int16_t want = Scaled(ref.samples[static_cast<size_t>(from * 2 + i)]);
        int16_t got = out[static_cast<size_t>(at * 2 + i)];
        if (want != got)
            return ::testing::AssertionFailure() << "frame " << at + i / 2 << " (reference frame " << from + i / 2
                                                 << "): got " << got << ", want " << want;
    }
    return ::testing::AssertionSuccess();
}

class Library : public ::testing::Environment {
public:
    void SetUp() override { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }
    void TearDown() override { _VorbisfileFinalize(); }
};
const auto* const kLibrary = ::testing::AddGlobalTestEnvironment(new Library);

}

TEST(Render, StereoFileMatchesTheReferenceToTheEnd)
{
    const Sample& s = Short();
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(s.path));
    d.Play(false);
    EXPECT_EQ(d.GetPlayState(), psPLAY);

    std::vector<int16_t> out;
    std::vector<int32_t> results;
    for (int b = 0; b < 5 && d.GetPlayState() != psSTOP; ++b) {
        d.Rendering();
        EXPECT_EQ(d.Offset(), d.Memory() + (b % 2 == 0 ? kBlock : 0));
        const auto* block = reinterpret_cast<const int16_t*>(d.Offset());
        out.insert(out.end(), block, block + kBlock / 2);
    }
    const int64_t frames = s.ref.Frames();
    ASSERT_EQ(out.size(), 3u * kBlock / 2);  // 2.7 s: the third block reaches the end
    EXPECT_TRUE(SameFrames(out, 0, s.ref, 0, frames));
    for (size_t i = static_cast<size_t>(frames) * 2; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0) << i;
    EXPECT_EQ(d.GetPlayState(), psSTOP);
    EXPECT_NEAR(d.TimeTell(), 0.001f, 1e-4);

    // The result counts only decoded bytes; a stopped object renders nothing and leaves the
    // destination alone.
    d.Play(false);
    std::vector<int32_t> r;
    auto again = Render(d, 3, &r);
    EXPECT_EQ(r[0], kBlock);
    EXPECT_EQ(r[1], kBlock);
    EXPECT_EQ(r[2], (frames - 2 * 44100) * 4 - 176);  // from 0.001 s: 44 frames fewer
    d.Play(false);
    EXPECT_EQ(d.RenderingToPointer(again.data(), kBlock), kBlock);
    d.Pause();
    std::vector<int16_t> untouched(kBlock / 2, 0x1234);
    EXPECT_EQ(d.RenderingToPointer(untouched.data(), kBlock), 0);
    EXPECT_EQ(untouched[0], 0x1234);
    EXPECT_EQ(untouched.back(), 0x1234);
}

TEST(Render, RenderBlockCopiesTheNextHalfOrSilenceAndNeverAStaleOne)
{
    const Sample& s = Short();  // 2.7 s: the third block holds the end
    TOggData d(kRing);
    TOggData plain(kRing);
    ASSERT_TRUE(d.LoadOgg(s.path));
    ASSERT_TRUE(plain.LoadOgg(s.path));
    EXPECT_TRUE(d.Renderable());
    d.Play(false);
    plain.Play(false);
    // Split as a range that wraps around a ring buffer's end.
    std::vector<uint8_t> first(1000, 0x55);
    std::vector<uint8_t> second(kBlock - 1000, 0x55);
    auto zero = [](const std::vector<uint8_t>& v) {
        return std::all_of(v.begin(), v.end(), [](uint8_t b) { return b == 0; });
    };

    d.RenderBlock(first, second, false);
    plain.Rendering();
    EXPECT_EQ(std::memcmp(first.data(), plain.Offset(), first.size()), 0);
    EXPECT_EQ(std::memcmp(second.data(), plain.Offset() + first.size(), second.size()), 0);

    // Silenced, the block is rendered all the same: the decoder moves on.
    d.RenderBlock(first, second, true);
    EXPECT_TRUE(zero(first) && zero(second));
    EXPECT_EQ(d.TimeTell(), 2.0f);

    d.RenderBlock(first, second, false);
    EXPECT_EQ(d.GetPlayState(), psSTOP);
    EXPECT_FALSE(zero(first));
    // The piece has ended and nothing more is decoded: the half this block goes to still holds
    // the second block's sound, which must not be heard again.
    d.RenderBlock(first, second, false);
    EXPECT_TRUE(zero(first) && zero(second));
}

TEST(Render, MonoFileIsDoubledIntoBothChannels)
{
    static const Sample s = Make(fixture::Noise(1.6, 1, 44100, 0.5, 3), "mono.ogg");
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(s.path));
    ASSERT_EQ(d.Channels, 1);
    EXPECT_TRUE(d.Renderable());
    EXPECT_EQ(d.PcmBytes, s.ref.Frames() * 4);
    d.Play(false);
    std::vector<int32_t> results;
    auto out = Render(d, 2, &results);
    EXPECT_EQ(results[0], kBlock);
    EXPECT_EQ(results[1], (s.ref.Frames() - 44100) * 4);
    for (int64_t i = 0; i < s.ref.Frames(); ++i) {
        ASSERT_EQ(out[static_cast<size_t>(2 * i)], Scaled(s.ref.samples[static_cast<size_t>(i)])) << i;
        ASSERT_EQ(out[static_cast<size_t>(2 * i + 1)], out[static_cast<size_t>(2 * i)]) << i;
    }
}

TEST(Render, WholeFileRepeatCrossesTheEndWithoutAGap)
{
    const Sample& s = Short();
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(s.path));
    d.Play(true);
    std::vector<int32_t> results;
    auto out = Render(d, 4, &results);
    EXPECT_EQ(d.GetPlayState(), psLOOP);
    for (int32_t r : results)
        EXPECT_EQ(r, kBlock);
    const int64_t frames = s.ref.Frames();
    EXPECT_TRUE(SameFrames(out, 0, s.ref, 0, frames));
    // The restart is at 0.001 s: frame 44 of the stream follows its last frame.
    EXPECT_TRUE(SameFrames(out, frames, s.ref, 44, 4 * 44100 - frames));
}

TEST(Render, EndlessLoopJoinsSampleExactly)
{
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(Container({{10.0f, 20.0f, -1}}, "endless.qv")));
    ASSERT_EQ(d.DataStart, 200);
    d.Play(false);
    auto out = Render(d, 50);
    const auto& ref = Long().ref;
    EXPECT_TRUE(SameFrames(out, 0, ref, 0, 20 * 44100));
    // Join at byte 3528000, then 10 s passes from 441000 over and over.
    for (int pass = 0; pass < 3; ++pass)
        EXPECT_TRUE(SameFrames(out, (20 + 10 * pass) * 44100, ref, 441000, 10 * 44100)) << pass;
    EXPECT_EQ(d.GetLoopCount(0), 0);  // endless entries do not count
    EXPECT_EQ(d.GetPlayState(), psPLAY);
}

TEST(Render, CountedLoopPlaysTheSectionThreeTimesAndRearms)
{
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(Container({{10.0f, 20.0f, 2}}, "twice.qv")));
    d.Play(false);
    const auto& ref = Long().ref;
    auto out = Render(d, 40);
    EXPECT_EQ(d.GetLoopCount(0), 2);
    EXPECT_TRUE(SameFrames(out, 0, ref, 0, 20 * 44100));
    EXPECT_TRUE(SameFrames(out, 20 * 44100, ref, 441000, 10 * 44100));
    EXPECT_TRUE(SameFrames(out, 30 * 44100, ref, 441000, 10 * 44100));
    auto more = Render(d, 2);  // 40..42 s of output: 20..22 s of the stream
    EXPECT_TRUE(SameFrames(more, 0, ref, 20 * 44100, 2 * 44100));
    EXPECT_EQ(d.GetLoopCount(0), 0);  // a block started beyond the loop end

    d.Stop();
    EXPECT_EQ(d.GetPlayState(), psSTOP);
    d.Play(false);
    // Now from 0.001 s (frame 44): the joins still land on frame 882000 of the stream.
    auto again = Render(d, 43);
    const int64_t join = 882000 - 44;
    EXPECT_TRUE(SameFrames(again, 0, ref, 44, join));
    EXPECT_TRUE(SameFrames(again, join, ref, 441000, 441000));
    EXPECT_TRUE(SameFrames(again, join + 441000, ref, 441000, 441000));
    EXPECT_TRUE(SameFrames(again, join + 882000, ref, 882000, 43 * 44100 - (join + 882000)));

    TOggData never(kRing);
    ASSERT_TRUE(never.LoadOgg(Container({{10.0f, 20.0f, 0}, {1.0f, 2.0f, -2}}, "never.qv")));
    never.Play(false);
    auto straight = Render(never, 23);
    EXPECT_TRUE(SameFrames(straight, 0, ref, 0, 23 * 44100));
}

TEST(Render, LoopEndAtEitherEdgeOfABlock)
{
    const auto& ref = Long().ref;
    {
        // At the end of the block's span: the whole block plays, the next starts at LoopStart.
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(Container({{2.0f, 5.0f, 1}}, "edge-end.qv")));
        d.Play(false);
        auto out = Render(d, 7);
        EXPECT_EQ(d.GetLoopCount(0), 1);
        EXPECT_TRUE(SameFrames(out, 0, ref, 0, 5 * 44100));
        EXPECT_TRUE(SameFrames(out, 5 * 44100, ref, 2 * 44100, 2 * 44100));
    }
    {
        // At the block's start (after a seek to it): the whole block comes from LoopStart.
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(Container({{2.0f, 5.0f, 1}}, "edge-start.qv")));
        d.TimeSeek(5.0f);
        ASSERT_EQ(d.TimeTell(), 5.0f);
        d.Play(false);
        std::vector<int32_t> results;
        auto out = Render(d, 1, &results);
        EXPECT_EQ(results[0], kBlock);
        EXPECT_EQ(d.GetLoopCount(0), 1);
        EXPECT_TRUE(SameFrames(out, 0, ref, 2 * 44100, 44100));
    }
    {
        // A loop end between frames: the part before the jump is a whole number of frames and
        // the join lands on the frame nearest to it.
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(Container({{1.25f, 3.3f, -1}}, "fraction.qv")));
        d.Play(false);
        auto out = Render(d, 6);
        const int64_t join = 145530;  // 3.3 * 44100
        const int64_t start = 55125;  // 1.25 * 44100
        EXPECT_TRUE(SameFrames(out, 0, ref, 0, join));
        EXPECT_TRUE(SameFrames(out, join, ref, start, join - start));
        EXPECT_TRUE(SameFrames(out, 2 * join - start, ref, start, 6 * 44100 - (2 * join - start)));
    }
}

TEST(Render, LoopsShorterThanABlockKeepLooping)
{
    const auto& ref = Long().ref;
    const int64_t start = 44100, end = 52920;  // 1.0 s and 1.2 s
    {
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(Container({{1.0f, 1.2f, -1}}, "short-endless.qv")));
        d.Play(false);
        auto out = Render(d, 4);
        EXPECT_TRUE(SameFrames(out, 0, ref, 0, end));
        for (int64_t at = end; at + (end - start) <= 4 * 44100; at += end - start)
            ASSERT_TRUE(SameFrames(out, at, ref, start, end - start)) << at;
    }
    {
        // Counted: the section three times within the first block, then on past 1.2 s.
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(Container({{1.0f, 1.2f, 2}}, "short-counted.qv")));
        d.Play(false);
        auto out = Render(d, 3);
        EXPECT_TRUE(SameFrames(out, 0, ref, 0, end));
        EXPECT_TRUE(SameFrames(out, end, ref, start, end - start));
        EXPECT_TRUE(SameFrames(out, 2 * end - start, ref, start, 3 * 44100 - (2 * end - start)));
    }
    {
        // A loop of no length, and one of four frames: the block still ends, whole.
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(Container({{2.0f, 2.0f, -1}, {5.0f, 5.0001f, -1}}, "degenerate.qv")));
        d.Play(false);
        std::vector<int32_t> results;
        auto out = Render(d, 6, &results);
        EXPECT_TRUE(SameFrames(out, 0, ref, 0, 5 * 44100));
        for (int32_t r : results)
            EXPECT_EQ(r, kBlock);
        EXPECT_EQ(d.GetPlayState(), psPLAY);
    }
}

TEST(Render, LoopEndAtTheStreamsEndJumpsWithoutStopping)
{
    const Sample& s = Short();
    const auto total = static_cast<float>(static_cast<double>(s.ref.Frames()) / 44100.0);
    // Half a millisecond past the last frame, as a length rounded to a float may lie.
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(Container({{1.0f, total + 0.0005f, -1}}, "tail.qv", s)));
    d.Play(false);
    auto out = Render(d, 6);
    EXPECT_EQ(d.GetPlayState(), psPLAY);
    const int64_t frames = s.ref.Frames();
    EXPECT_TRUE(SameFrames(out, 0, s.ref, 0, frames));
    EXPECT_TRUE(SameFrames(out, frames, s.ref, 44100, frames - 44100));

    // An entry ending beyond the stream is never due: the file ends and stops as usual.
    TOggData e(kRing);
    ASSERT_TRUE(e.LoadOgg(Container({{1.0f, total + 0.5f, -1}}, "beyond.qv", s)));
    e.Play(false);
    auto ended = Render(e, 3);
    EXPECT_EQ(e.GetPlayState(), psSTOP);
    EXPECT_TRUE(SameFrames(ended, 0, s.ref, 0, frames));
    EXPECT_EQ(ended[static_cast<size_t>(frames) * 2], 0);
}

TEST(Render, FadeOutTakesExactlyItsFramesThenPauses)
{
    const Sample& s = Short();
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(s.path));
    d.Play(false);
    d.SetVolume(0.0f, 2.0f);
    EXPECT_EQ(d.GetVolumeStep(), -16384);
    auto out = Render(d, 2);
    for (int64_t i = 0; i < 88200; ++i) {
        const int64_t now = TOggData::FullVolume - 16384 * (i + 1);
        const int64_t gain = now / 5644800;  // 256ths
        for (int c = 0; c < 2; ++c) {
            const auto k = static_cast<size_t>(2 * i + c);
            ASSERT_EQ(out[k], Rounded(s.ref.samples[k], gain, 256)) << i;
        }
    }
    EXPECT_EQ(d.GetNowVolume(), 0.0f);
    std::vector<int16_t> block(kBlock / 2, 7);
    EXPECT_EQ(d.RenderingToPointer(block.data(), kBlock), 0);
    EXPECT_EQ(d.GetPlayState(), psSTOP);
    EXPECT_EQ(block[0], 7);

    // Play alone brings nothing back; raising the volume first does.
    d.Play(false);
    EXPECT_EQ(d.RenderingToPointer(block.data(), kBlock), 0);
    EXPECT_EQ(d.GetPlayState(), psSTOP);
    d.SetVolume(1.0f);
    d.Play(false);
    EXPECT_EQ(d.RenderingToPointer(block.data(), kBlock), (s.ref.Frames() - 2 * 44100) * 4);
}

TEST(Render, VolumesScaleAndClamp)
{
    TOggData d(kRing);
    d.SetVolume(1.5f);
    EXPECT_EQ(d.GetNowVolume(), 1.0f);
    EXPECT_EQ(d.GetSetVolume(), 1.0f);
    d.SetVolume(-1.0f);
    EXPECT_EQ(d.GetNowVolume(), 0.0f);
    d.SetVolume(0.5f, 1.0f);
    EXPECT_EQ(d.GetNowVolume(), 0.0f);
    EXPECT_EQ(d.GetSetVolume(), 0.5f);
    d.SetMasterVolume(0.5f);  // 127.5 rounds to even
    EXPECT_EQ(d.GetMasterVolume(), 128.0f / 255.0f);
    d.SetChannelVolume(1.0f);
    EXPECT_EQ(d.GetChannelVolume(), 1.0f);

    // Half master volume, full fade: 128/255 of each sample, to the nearest 65536th of the gain.
    const Sample& s = Short();
    d.SetVolume(1.0f);
    ASSERT_TRUE(d.LoadOgg(s.path));
    d.Play(false);
    auto out = Render(d, 1);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], Rounded(s.ref.samples[i], 32897, 65536)) << i;

    EXPECT_EQ(d.GetLoopCount(16), 0);
    d.SetLoopCount(16, 5);
    d.SetLoopCount(-1, 5);
    d.SetLoopCount(15, 5);
    EXPECT_EQ(d.GetLoopCount(15), 5);
    EXPECT_EQ(d.GetLoopCount(-1), 0);
}

TEST(Render, SeekClampsAndStopClearsEverything)
{
    const Sample& s = Long();
    TOggData d(kRing);
    d.TimeSeek(3.0f);  // nothing loaded: nothing happens
    EXPECT_EQ(d.TimeTell(), 0.0f);
    ASSERT_TRUE(d.LoadOgg(s.path));
    d.TimeSeek(-5.0f);
    EXPECT_NEAR(d.TimeTell(), 0.001f, 1e-5);
    d.TimeSeek(1000.0f);
    EXPECT_NEAR(d.TimeTell(), d.TotalTime, 1e-4);
    d.TimeSeek(7.0f);
    EXPECT_EQ(d.TimeTell(), 7.0f);
    d.TimeSeek(7.0009f);  // within a millisecond: no seek
    EXPECT_EQ(d.TimeTell(), 7.0f);
    d.TimeSeek(NAN);
    EXPECT_EQ(d.TimeTell(), 7.0f);

    d.Play(false);
    auto out = Render(d, 1);
    EXPECT_TRUE(SameFrames(out, 0, s.ref, 7 * 44100, 44100));
    d.Rendering();
    d.SetLoopCount(3, 9);
    d.Stop();
    EXPECT_EQ(d.GetPlayState(), psSTOP);
    EXPECT_NEAR(d.TimeTell(), 0.001f, 1e-5);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(d.GetLoopCount(i), 0);
    for (int i = 0; i < kRing; ++i)
        ASSERT_EQ(d.Memory()[i], 0) << i;
}

TEST(Render, HeardPositionFollowsTheClock)
{
    struct Pinned {
        Pinned() { TickCount::Pin(5000); }
        ~Pinned() { TickCount::Release(); }
    } pinned;
    TOggData d(kRing);
    EXPECT_EQ(d.GetOutputTime(), 0.0f);
    ASSERT_TRUE(d.LoadOgg(Long().path));
    d.Play(false);
    for (int i = 0; i < 4; ++i)
        d.Rendering();
    EXPECT_EQ(d.TimeTell(), 4.0f);
    EXPECT_FLOAT_EQ(d.GetOutputTime(), 2.0f);
    TickCount::Advance(250);
    EXPECT_FLOAT_EQ(d.GetOutputTime(), 2.25f);
    TickCount::Advance(5000);
    EXPECT_FLOAT_EQ(d.GetOutputTime(), 3.0f);  // never more than a second ahead
    d.RenderTick = TickCount::Get() + 100;     // a wrapped counter counts as no time
    EXPECT_FLOAT_EQ(d.GetOutputTime(), 2.0f);
}

TEST(Render, StreamWithNothingToRepeatEndsTheBlock)
{
    // Ten frames: the restart at 0.001 s lies beyond the end, so repeating yields nothing.
    static const Sample s = Make(fixture::Noise(10.0 / 44100.0, 2, 44100, 0.5, 9), "tiny.ogg");
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(s.path));
    d.Play(true);
    std::vector<int32_t> results;
    auto out = Render(d, 1, &results);
    EXPECT_EQ(results[0], s.ref.Frames() * 4);
    EXPECT_EQ(d.GetPlayState(), psSTOP);
    for (size_t i = static_cast<size_t>(s.ref.Frames()) * 2; i < out.size(); ++i)
        ASSERT_EQ(out[i], 0);
}

// A seek renders the sound not yet heard again: the last bytes of what the blocks rendered, in
// their place in the render memory (which the analysis reads), from the new place, and the
// next block goes on from there. The newest block keeps its tick, so the place the analysis
// takes as heard does not move.
TEST(Render, RenderAgainReplacesTheTailInPlaceFromTheSeek)
{
    const Sample& s = Long();
    struct Case {
        int blocks;     // rendered before the seek: 1 leaves the newest at the memory's end
        int32_t bytes;  // rendered again
    } const cases[] = {{1, 30000}, {1, kBlock + 30000}, {2, kBlock + 50000}, {2, kRing}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.blocks << " blocks, " << c.bytes << " bytes again");
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(s.path));
        d.Play(false);
        std::vector<uint8_t> block(kBlock);
        for (int b = 0; b < c.blocks; ++b)
            d.RenderBlock(block, {}, false);
        const uint64_t tick = d.RenderTick.load();
        const int32_t offset = d.RenderOffset.load();

        d.TimeSeek(5.0f);
        std::vector<uint8_t> first(static_cast<size_t>(std::min(c.bytes, 20000)));
        std::vector<uint8_t> second(static_cast<size_t>(c.bytes) - first.size());
        EXPECT_EQ(d.RenderAgain(c.bytes, first, second, false), c.bytes);
        EXPECT_EQ(d.RenderTick.load(), tick);
        EXPECT_EQ(d.RenderOffset.load(), offset);
        const auto marks = d.BlockMarks();
        ASSERT_FALSE(marks.empty());
        EXPECT_EQ(marks.front().Offset, 0);
        EXPECT_NEAR(marks.front().Time, 5.0f, 1e-4);

        std::vector<uint8_t> range = first;
        range.insert(range.end(), second.begin(), second.end());
        const int32_t from = (offset + kBlock - c.bytes + kRing) % kRing;
        for (int32_t i = 0; i < c.bytes; ++i)
            ASSERT_EQ(d.Memory()[(from + i) % kRing], range[static_cast<size_t>(i)]) << "render memory byte " << i;
        std::vector<int16_t> samples(range.size() / 2);
        std::memcpy(samples.data(), range.data(), range.size());
        EXPECT_TRUE(SameFrames(samples, 0, s.ref, 5 * 44100, c.bytes / 4));

        d.RenderBlock(block, {}, false);
        std::vector<int16_t> next(kBlock / 2);
        std::memcpy(next.data(), block.data(), kBlock);
        EXPECT_TRUE(SameFrames(next, 0, s.ref, 5 * 44100 + c.bytes / 4, kBlock / 4)) << "the next block goes on";
    }
}
