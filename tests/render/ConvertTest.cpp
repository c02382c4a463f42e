// Streams that are not 44100 Hz stereo or mono: converted to 44100 Hz with libsoxr and mixed down
// to stereo, through loops, seeks, fades and the end of the piece.
#include "OggDataLib.h"
#include "OggWuvorbisLib.h"
#include "RateConverter.h"

#include "OggFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

namespace {

constexpr int32_t kBlock = OutputFormat::BlockBytes;
constexpr int32_t kRing = OutputFormat::StreamBufferBytes;
constexpr int64_t kOutRate = OutputFormat::Rate;

class Library : public ::testing::Environment {
public:
    void SetUp() override { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }
    void TearDown() override { _VorbisfileFinalize(); }
};
const auto* const kLibrary = ::testing::AddGlobalTestEnvironment(new Library);

struct Played {
    std::vector<int16_t> samples;  // stereo, 44100 Hz
    int64_t frames = 0;            // what the blocks reported as sound
    int blocks = 0;
    bool stopped = false;
};

// Plays a loaded file block by block until it stops (or maxBlocks).
Played PlayOut(TOggData& d, int maxBlocks)
{
    Played p;
    std::vector<uint8_t> block(kBlock);
    d.Play(false);
    for (; p.blocks < maxBlocks && !p.stopped; ++p.blocks) {
        p.frames += d.RenderBlock(block, {}, false) / 4;
        const auto* s = reinterpret_cast<const int16_t*>(block.data());
        p.samples.insert(p.samples.end(), s, s + kBlock / 2);
        p.stopped = d.GetPlayState() == psSTOP;
    }
    return p;
}

// Stereo frames of a 48000 Hz decode from frame `from`, converted in one piece as the engine's
// output would be with full volumes: each sample as it is.
std::vector<int16_t> OnePiece(const std::vector<int16_t>& stereo, int64_t from = 0)
{
    TRateConverter c(48000.0);
    const size_t frames = stereo.size() / 2 - static_cast<size_t>(from);
    std::vector<int16_t> out((frames * kOutRate / 48000 + 64) * 2);
    size_t used = 0;
    size_t done = c.Process(stereo.data() + from * 2, frames, used, out.data(), out.size() / 2);
    for (size_t f = 1; f > 0; done += f)
        f = c.Flush(out.data() + done * 2, out.size() / 2 - done);
    out.resize(done * 2);
    return out;
}

int MaxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t samples)
{
    int worst = 0;
    for (size_t i = 0; i < samples; ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

double Rms(const std::vector<int16_t>& s, size_t from, size_t count, size_t stride = 2)
{
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i)
        sum += std::pow(s[from + i * stride], 2.0);
    return std::sqrt(sum / static_cast<double>(count));
}

}

TEST(Convert, SineAt48kHzIsLibsoxrsOnePieceResultAtTheSamePitchAndLevel)
{
    const auto bytes = fixture::Encode(fixture::Sine(3.0, {1000.0}, 2, 48000, 0.5));
    const auto ref = fixture::ReferenceDecode(bytes);
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(bytes, "sine48.ogg")));
    EXPECT_NEAR(d.TotalTime, 3.0f, 1e-4);
    const Played p = PlayOut(d, 6);
    EXPECT_TRUE(p.stopped);
    EXPECT_EQ(p.blocks, 3);

    // Blocks, chunks and the end change nothing against converting the whole decode at once,
    // so the output holds nothing (above -90 dB of the tone) that the conversion did not make.
    const auto whole = OnePiece(ref.samples);
    ASSERT_EQ(static_cast<int64_t>(whole.size() / 2), p.frames);
    EXPECT_NEAR(static_cast<double>(p.frames), 3.0 * kOutRate, 1.0);
    EXPECT_LE(MaxDifference(p.samples, whole, whole.size()), 1);
    double residual = 0.0;
    for (size_t i = 0; i < whole.size(); ++i)
        residual += std::pow(p.samples[i] - whole[i], 2.0);
    residual = std::sqrt(residual / static_cast<double>(whole.size()));
    EXPECT_LT(20.0 * std::log10((residual + 1e-9) / Rms(whole, 0, whole.size(), 1)), -90.0);

    // The same tone: level within 0.1 dB of the decode's, 2000 zero crossings a second.
    const double level = Rms(p.samples, 2 * kOutRate, kOutRate) / Rms(ref.samples, 2 * 48000, 48000);
    EXPECT_NEAR(20.0 * std::log10(level), 0.0, 0.1);
    int crossings = 0;
    for (int64_t i = kOutRate; i < 2 * kOutRate; ++i)
        crossings += (p.samples[2 * i] < 0) != (p.samples[2 * i + 2] < 0);
    EXPECT_NEAR(crossings, 2000, 2);

    // A seek lands on its frame; a block is a second of the piece, whatever the converter holds.
    d.TimeSeek(1.0f);
    EXPECT_FLOAT_EQ(d.TimeTell(), 1.0f);
    d.Play(false);
    std::vector<int16_t> out(kBlock / 2);
    ASSERT_EQ(d.RenderingToPointer(out.data(), kBlock), kBlock);
    EXPECT_NEAR(d.TimeTell(), 2.0f, 1e-4);
    EXPECT_LE(MaxDifference(out, OnePiece(ref.samples, 48000), out.size()), 1);
    // A fade counts output frames: half a second of it, then silence.
    d.SetVolume(0.0f, 0.5f);
    ASSERT_EQ(d.RenderingToPointer(out.data(), kBlock), kBlock);
    EXPECT_GT(Rms(out, 0, 20000), 1000.0);
    EXPECT_EQ(Rms(out, 2 * 22050, 22000), 0.0);
}

TEST(Convert, OtherRatesAndLayoutsPlayToTheirEnd)
{
    struct Case {
        int channels, rate;
        double seconds;
    };
    for (const Case& c : {Case{1, 48000, 1.3}, Case{1, 22050, 2.2}, Case{2, 32000, 1.7}, Case{6, 48000, 1.4},
                          Case{6, 44100, 1.2}}) {
        SCOPED_TRACE(std::to_string(c.channels) + " channels at " + std::to_string(c.rate));
        // 1 kHz in the first channel; with six, 500 Hz in the centre alone.
        fixture::Pcm pcm = fixture::Silence(c.seconds, c.channels, c.rate);
        for (int64_t i = 0; i < pcm.Frames(); ++i) {
            const double t = 2 * M_PI * static_cast<double>(i) / c.rate;
            pcm.samples[static_cast<size_t>(i * c.channels)] = static_cast<float>(0.5 * std::sin(1000 * t));
            if (c.channels == 6)
                pcm.samples[static_cast<size_t>(i * 6 + 1)] = static_cast<float>(0.5 * std::sin(500 * t));
        }
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(fixture::Encode(pcm), "layout.ogg")));
        const Played p = PlayOut(d, 5);
        ASSERT_TRUE(p.stopped);
        EXPECT_NEAR(static_cast<double>(p.frames), c.seconds * kOutRate, 2.0);
        const double full = 0.5 * 32767 / std::sqrt(2.0);
        const double l = Rms(p.samples, 0, static_cast<size_t>(p.frames)) / full;
        const double r = Rms(p.samples, 1, static_cast<size_t>(p.frames)) / full;
        // Six channels: front left alone on the left (1 of 2.414), the centre at 0.707 of that.
        const double share = 1.0 / (1.0 + 2 * M_SQRT1_2);
        const double wantL = c.channels == 6 ? std::hypot(share, M_SQRT1_2 * share) : 1.0;
        const double wantR = c.channels == 6 ? M_SQRT1_2 * share : c.channels == 1 ? 1.0 : 0.0;
        EXPECT_NEAR(l, wantL, 0.02);
        EXPECT_NEAR(r, wantR, 0.02);
        // Played again after its end, from the restart point a millisecond in.
        EXPECT_NEAR(static_cast<double>(PlayOut(d, 5).frames), static_cast<double>(p.frames - 44), 1.0);
    }
}

TEST(Convert, LoopJoinsAt48kHzAreSeamlessAndOnTheExactSourceFrame)
{
    const auto bytes = fixture::Encode(fixture::Noise(4.0, 2, 48000, 0.4, 21));
    const auto ref = fixture::ReferenceDecode(bytes);
    auto qv = fixture::ContainerHeader({{1.0f, 2.5f, 2}, {0.3f, 0.35f, 0}});
    qv.insert(qv.end(), bytes.begin(), bytes.end());
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(qv, "noise48.qv")));
    const Played p = PlayOut(d, 12);
    EXPECT_TRUE(p.stopped);
    EXPECT_EQ(d.GetLoopCount(0), 0);  // rearmed once past its end

    // The source as it is heard, to frame 120000 (2.5 s), twice more from frame 48000, then on to
    // the end, converted in one piece: the joins need nothing the converter did not do.
    const auto at = [&](int64_t frame) { return ref.samples.begin() + frame * 2; };
    std::vector<int16_t> looped(at(0), at(120000));
    looped.insert(looped.end(), at(48000), at(120000));
    looped.insert(looped.end(), at(48000), at(120000));
    looped.insert(looped.end(), at(120000), ref.samples.end());
    const auto whole = OnePiece(looped);
    ASSERT_EQ(static_cast<int64_t>(whole.size() / 2), p.frames);
    EXPECT_LE(MaxDifference(p.samples, whole, whole.size()), 1);
}

TEST(Convert, DamagedOrUnrenderableDataEndsThePiece)
{
    // Garbage over the middle of the data: what decodes plays, the rest is passed over, and the
    // piece still reaches its end.
    for (int rate : {44100, 48000}) {
        SCOPED_TRACE(rate);
        auto bytes = fixture::Encode(fixture::Noise(8.0, 2, rate, 0.4, 4));
        std::mt19937 rng(7);
        for (size_t i = bytes.size() * 3 / 10; i < bytes.size() * 6 / 10; ++i)
            bytes[i] = static_cast<uint8_t>(rng());
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(bytes, "damaged.ogg")));
        const Played p = PlayOut(d, 12);
        EXPECT_TRUE(p.stopped);
        EXPECT_LT(p.blocks, 9);
        EXPECT_GT(Rms(p.samples, 0, 44100), 1000.0);
    }
    // Nine channels have no mix: the piece ends at once rather than play silence.
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(fixture::Encode(fixture::Sine(0.5, {440.0}, 9)), "nine.ogg")));
    EXPECT_FALSE(d.Renderable());
    const Played p = PlayOut(d, 3);
    EXPECT_TRUE(p.stopped);
    EXPECT_EQ(p.frames, 0);
}
