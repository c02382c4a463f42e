// Frames count from the first frame the decoder gives, whatever positions the stream's pages
// carry: streams whose positions start late (the first audio page's position larger than the
// frames it holds), streams with a trimmed beginning (smaller), and chained streams whose later
// link is so. A tagged loop jumps on its frames, a seek lands on the frame asked for, and the
// position told agrees, compared sample for sample with the decode of the same bytes from the
// start (what oggdec writes). Also the volume stage: full volume is the decode itself, and other
// volumes round to the nearest sample.
#include "OggDataLib.h"
#include "TVolumeGain.h"

#include "OggFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr int32_t kBlock = OutputFormat::BlockBytes;
constexpr int64_t kRate = 44100;

// The decoder library is loaded for the whole program by RenderTest.cpp's environment.

struct Shifted {
    const char* name;
    std::vector<int64_t> shifts;  // one per link, each link 1.5 s of its own noise
    int64_t loopStart;            // frames, counted over the whole piece
    int64_t loopEnd;
};

std::vector<uint8_t> Build(const Shifted& c)
{
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < c.shifts.size(); ++i) {
        std::vector<std::string> tags;
        if (i == 0)
            tags = {"LOOPSTART=" + std::to_string(c.loopStart), "LOOPLENGTH=" + std::to_string(c.loopEnd - c.loopStart)};
        const auto link = fixture::Encode(fixture::Noise(1.5, 2, 44100, 0.4, static_cast<uint32_t>(40 + i)), tags, 0.4f,
                                          static_cast<int>(700 + i));
        const auto moved = fixture::ShiftPositions(link, c.shifts[i]);
        bytes.insert(bytes.end(), moved.begin(), moved.end());
    }
    return bytes;
}

std::vector<int16_t> Render(TOggData& d, int blocks)
{
    std::vector<int16_t> out(static_cast<size_t>(blocks) * kBlock / 2);
    for (int b = 0; b < blocks; ++b)
        d.RenderingToPointer(out.data() + static_cast<size_t>(b) * kBlock / 2, kBlock);
    return out;
}

// The first frame where got and want differ, or -1.
int64_t FirstDifference(const std::vector<int16_t>& got, const std::vector<int16_t>& want)
{
    const size_t n = std::min(got.size(), want.size());
    for (size_t i = 0; i < n; ++i)
        if (got[i] != want[i])
            return static_cast<int64_t>(i / 2);
    return got.size() < want.size() ? static_cast<int64_t>(got.size() / 2) : -1;
}

const Shifted kCases[] = {
    {"zero", {0}, 20000, 50000},
    {"late by 1000", {1000}, 20000, 50000},
    {"late by 63", {63}, 7000, 61000},
    {"trimmed by 700", {-700}, 20000, 50000},
    {"later link late", {0, 1500}, 30000, 100000},
    {"later link trimmed, first late", {900, -400}, 60000, 120000},
};

}

TEST(Positions, LoopsSeeksAndTellsCountFromTheFirstDecodedFrame)
{
    for (const Shifted& c : kCases) {
        SCOPED_TRACE(c.name);
        const auto bytes = Build(c);
        const fixture::Decoded ref = fixture::ReferenceDecode(bytes);
        ASSERT_EQ(ref.channels, 2);
        const int64_t frames = ref.Frames();
        ASSERT_GT(frames, c.loopEnd);

        TOggData d(OutputFormat::StreamBufferBytes);
        ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(bytes, "shifted.ogg")));
        EXPECT_EQ(d.PcmBytes / 4, frames);
        EXPECT_EQ(d.LoopTags.Result, TTaggedLoop::Found);

        // The tagged loop: up to its end, then its start again, twice over.
        std::vector<int16_t> want(ref.samples.begin(), ref.samples.begin() + c.loopEnd * 2);
        for (int pass = 0; pass < 2; ++pass)
            want.insert(want.end(), ref.samples.begin() + c.loopStart * 2, ref.samples.begin() + c.loopEnd * 2);
        const int blocks = static_cast<int>((static_cast<int64_t>(want.size()) * 2 + kBlock - 1) / kBlock);
        want.resize(static_cast<size_t>(blocks) * kBlock / 2 - kBlock / 2);
        d.Play(false);
        const auto looped = Render(d, blocks);
        EXPECT_EQ(FirstDifference(looped, want), -1) << "loop " << c.loopStart << " .. " << c.loopEnd;

        // Seeks land on the frame asked for, and the place told counts from there.
        // (The player takes a seek below a millisecond as one to 1 ms.)
        for (const int64_t at : {int64_t{60}, int64_t{4099}, frames / 3, frames / 2 + 77, frames - 9000}) {
            SCOPED_TRACE(at);
            d.TimeSeek(static_cast<float>((static_cast<double>(at) + 0.5) / kRate));
            EXPECT_NEAR(d.DecoderTime() * kRate, static_cast<double>(at), 0.5);
            const auto heard = Render(d, 1);
            const int64_t n = std::min<int64_t>(kBlock / 4, std::min(frames, c.loopEnd > at ? c.loopEnd : frames) - at);
            const std::vector<int16_t> from(ref.samples.begin() + at * 2, ref.samples.begin() + (at + n) * 2);
            EXPECT_EQ(FirstDifference({heard.begin(), heard.begin() + n * 2}, from), -1);
            if (n == kBlock / 4) {
                EXPECT_NEAR(d.DecoderTime() * kRate, static_cast<double>(at + n), 0.5);
            }
        }
    }
}

TEST(Positions, FullVolumeIsTheDecodeAndOtherVolumesRound)
{
    // The gain stage itself: unity at full, and each product to the nearest sample.
    struct Row {
        int32_t level, master, channel, sample, want;
    };
    constexpr int32_t full = TOggData::FullVolume;
    const Row rows[] = {
        {full, 255, 255, 32767, 32767},      {full, 255, 255, -32768, -32768},
        {full, 255, 255, -1, -1},            {full / 2, 255, 255, 3, 2},  // 1.5 away from zero
        {full / 2, 255, 255, -3, -2},        {full / 2, 255, 255, 1001, 501},
        {full, 128, 255, 1000, 502},         {full, 128, 255, -1000, -502},
        {full, 510, 255, 20000, 32767},      {full, 510, 255, -20000, -32768},
        {full / 256, 255, 255, 200, 1},      {0, 255, 255, 32767, 0},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TVolumeGain::Scale(r.sample, TVolumeGain::Gain(r.level, r.master, r.channel)), r.want)
            << r.level << " " << r.master << " " << r.channel << " " << r.sample;

    // The engine at full volume, with the equaliser flat, gives out the decode unchanged.
    const auto bytes = fixture::Encode(fixture::Noise(1.2, 2, 44100, 0.9, 8));
    const fixture::Decoded ref = fixture::ReferenceDecode(bytes);
    TOggData d(OutputFormat::StreamBufferBytes);
    ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(bytes, "full.ogg")));
    d.Play(false);
    auto out = Render(d, 2);
    out.resize(ref.samples.size());
    EXPECT_EQ(FirstDifference(out, ref.samples), -1);
}
