// Streams that are not 44100 Hz stereo or mono: converted to 44100 Hz with libsoxr and mixed down
// to stereo, through loops, seeks and the end of the piece.
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
    int64_t soundFrames = 0;       // what the blocks reported as sound
    int blocks = 0;
    bool stopped = false;
};

// Plays a loaded file block by block until it stops (or maxBlocks).
Played PlayOut(TOggData& d, int maxBlocks)
{
    Played p;
    std::vector<uint8_t> block(kBlock);
    for (; p.blocks < maxBlocks && !p.stopped; ++p.blocks) {
        p.soundFrames += d.RenderBlock(block, {}, false) / 4;
        const auto* s = reinterpret_cast<const int16_t*>(block.data());
        p.samples.insert(p.samples.end(), s, s + kBlock / 2);
        p.stopped = d.GetPlayState() == psSTOP;
    }
    return p;
}

// A stereo reference (stereo or mono doubled) converted in one piece, as the engine's output
// would be with full volumes: 254/256 of each sample, truncated.
std::vector<int16_t> ConvertedInOnePiece(const std::vector<int16_t>& stereo, long rate)
{
    TRateConverter c(static_cast<double>(rate));
    const size_t frames = stereo.size() / 2;
    std::vector<int16_t> out(static_cast<size_t>(static_cast<double>(frames) * kOutRate / rate + 64) * 2);
    size_t used = 0;
    size_t done = c.Process(stereo.data(), frames, used, out.data(), out.size() / 2);
    EXPECT_EQ(used, frames);
    for (size_t f = 1; f > 0;) {
        f = c.Flush(out.data() + done * 2, out.size() / 2 - done);
        done += f;
    }
    out.resize(done * 2);
    for (auto& s : out)
        s = static_cast<int16_t>(s * 254 / 256);
    return out;
}

// The largest difference between out from frame at and want from frame from, over count frames.
int MaxDifference(const std::vector<int16_t>& out, int64_t at, const std::vector<int16_t>& want, int64_t from,
                  int64_t count)
{
    int worst = 0;
    for (int64_t i = 0; i < count * 2; ++i)
        worst = std::max(worst, std::abs(out[static_cast<size_t>(at * 2 + i)] - want[static_cast<size_t>(from * 2 + i)]));
    return worst;
}

double Rms(const std::vector<int16_t>& s, size_t from, size_t count, size_t stride = 1)
{
    double sum = 0.0;
    for (size_t i = 0; i < count; ++i) {
        const double v = s[from + i * stride];
        sum += v * v;
    }
    return std::sqrt(sum / static_cast<double>(count));
}

std::string Write(const fixture::Pcm& pcm, const std::string& name, std::vector<uint8_t>* bytes = nullptr)
{
    auto b = fixture::Encode(pcm);
    if (bytes)
        *bytes = b;
    return fixture::WriteTemp(b, name);
}

}

TEST(Convert, SineAt48kHzKeepsItsPitchAndLevelAndIsLibsoxrsOnePieceResult)
{
    std::vector<uint8_t> bytes;
    const std::string path = Write(fixture::Sine(3.0, {1000.0}, 2, 48000, 0.5), "sine48.ogg", &bytes);
    const auto ref = fixture::ReferenceDecode(bytes);
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(path));
    EXPECT_TRUE(d.Renderable());
    EXPECT_NEAR(d.TotalTime, 3.0f, 1e-4);
    d.Play(false);
    const Played p = PlayOut(d, 6);
    ASSERT_TRUE(p.stopped);
    EXPECT_EQ(p.blocks, 3);
    EXPECT_NEAR(static_cast<double>(p.soundFrames), 3.0 * kOutRate, 1.0);

    // Blocks, chunks and the end change nothing against converting the whole decode at once.
    const auto whole = ConvertedInOnePiece(ref.samples, ref.rate);
    ASSERT_EQ(static_cast<int64_t>(whole.size() / 2), p.soundFrames);
    EXPECT_LE(MaxDifference(p.samples, 0, whole, 0, p.soundFrames), 1);

    // The same tone: level within 0.1 dB of the decode's, 2000 zero crossings a second, and the
    // difference from the one-piece conversion more than 90 dB below the tone.
    const size_t second = 2 * kOutRate;
    const double level = Rms(p.samples, second, kOutRate, 2) / (Rms(ref.samples, 2 * 48000, 48000, 2) * 254 / 256);
    EXPECT_NEAR(20.0 * std::log10(level), 0.0, 0.1);
    int crossings = 0;
    for (size_t i = second; i < 2 * second; i += 2)
        crossings += (p.samples[i] < 0) != (p.samples[i + 2] < 0);
    EXPECT_NEAR(crossings, 2000, 2);
    double residual = 0.0;
    for (size_t i = 0; i < whole.size(); ++i)
        residual += std::pow(p.samples[i] - whole[i], 2.0);
    residual = std::sqrt(residual / static_cast<double>(whole.size()));
    EXPECT_LT(20.0 * std::log10((residual + 1e-9) / Rms(whole, 0, whole.size())), -90.0);
}

TEST(Convert, OtherRatesAndLayoutsPlayToTheirEnd)
{
    struct Case {
        const char* name;
        int channels;
        int rate;
        double seconds;
    };
    for (const Case& c : {Case{"mono48", 1, 48000, 1.3}, Case{"mono22", 1, 22050, 2.2}, Case{"stereo32", 2, 32000, 1.7},
                          Case{"six48", 6, 48000, 1.4}, Case{"six44", 6, 44100, 1.2}}) {
        SCOPED_TRACE(c.name);
        // A 1 kHz tone in the first channel and, with six, 500 Hz in the centre alone.
        fixture::Pcm pcm = fixture::Silence(c.seconds, c.channels, c.rate);
        for (int64_t i = 0; i < pcm.Frames(); ++i) {
            const double t = static_cast<double>(i) / c.rate;
            pcm.samples[static_cast<size_t>(i * c.channels)] = static_cast<float>(0.5 * std::sin(2 * M_PI * 1000 * t));
            if (c.channels == 6)
                pcm.samples[static_cast<size_t>(i * 6 + 1)] = static_cast<float>(0.5 * std::sin(2 * M_PI * 500 * t));
        }
        TOggData d(kRing);
        ASSERT_TRUE(d.LoadOgg(Write(pcm, std::string(c.name) + ".ogg")));
        ASSERT_TRUE(d.Renderable());
        d.Play(false);
        const Played p = PlayOut(d, 5);
        ASSERT_TRUE(p.stopped);
        EXPECT_NEAR(static_cast<double>(p.soundFrames), c.seconds * kOutRate, 2.0);
        const double l = Rms(p.samples, 0, static_cast<size_t>(p.soundFrames), 2);
        const double r = Rms(p.samples, 1, static_cast<size_t>(p.soundFrames), 2);
        const double full = 0.5 * 32767 / std::sqrt(2.0) * 254 / 256;
        if (c.channels == 1) {
            EXPECT_NEAR(l / full, 1.0, 0.02);
            EXPECT_EQ(l, r);
        } else if (c.channels == 2) {
            EXPECT_NEAR(l / full, 1.0, 0.02);
            EXPECT_LT(r, 5.0);
        } else {
            // Front left alone on the left (1 of 2.414), the centre at 0.707 of it on both sides.
            const double share = 1.0 / (1.0 + 2 * 0.70710678);
            EXPECT_NEAR(l / full, std::sqrt(share * share + std::pow(0.70710678 * share, 2.0)), 0.02);
            EXPECT_NEAR(r / full, 0.70710678 * share, 0.02);
        }
        // Played again after its end, from the restart point a millisecond in.
        d.Play(false);
        EXPECT_NEAR(static_cast<double>(PlayOut(d, 5).soundFrames), static_cast<double>(p.soundFrames - 44), 1.0);
    }
}

TEST(Convert, LoopJoinsAt48kHzAreSeamlessAndOnTheExactSourceFrame)
{
    std::vector<uint8_t> bytes;
    Write(fixture::Noise(4.0, 2, 48000, 0.4, 21), "noise48.ogg", &bytes);
    const auto ref = fixture::ReferenceDecode(bytes);
    auto qv = fixture::ContainerHeader({{1.0f, 2.5f, 2}, {0.3f, 0.35f, 0}});
    qv.insert(qv.end(), bytes.begin(), bytes.end());
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(fixture::WriteTemp(qv, "noise48.qv")));
    d.Play(false);
    const Played p = PlayOut(d, 12);
    ASSERT_TRUE(p.stopped);

    // The source as it is heard: up to frame 120000 (2.5 s), twice more from frame 48000, then
    // on to the end; converted in one piece, the joins need nothing the converter did not do.
    std::vector<int16_t> looped(ref.samples.begin(), ref.samples.begin() + 120000 * 2);
    for (int pass = 0; pass < 2; ++pass)
        looped.insert(looped.end(), ref.samples.begin() + 48000 * 2, ref.samples.begin() + 120000 * 2);
    looped.insert(looped.end(), ref.samples.begin() + 120000 * 2, ref.samples.end());
    const auto whole = ConvertedInOnePiece(looped, 48000);
    ASSERT_EQ(static_cast<int64_t>(whole.size() / 2), p.soundFrames);
    EXPECT_LE(MaxDifference(p.samples, 0, whole, 0, p.soundFrames), 1);
    EXPECT_EQ(d.GetLoopCount(0), 0);  // rearmed once past its end
}

TEST(Convert, SeekPositionAndOutputTimeCountInSecondsOfThePiece)
{
    std::vector<uint8_t> bytes;
    const std::string path = Write(fixture::Noise(5.0, 2, 48000, 0.4, 8), "seek48.ogg", &bytes);
    const auto ref = fixture::ReferenceDecode(bytes);
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(path));
    d.TimeSeek(2.0f);
    EXPECT_FLOAT_EQ(d.TimeTell(), 2.0f);
    d.Play(false);
    std::vector<int16_t> out(kBlock / 2);
    ASSERT_EQ(d.RenderingToPointer(out.data(), kBlock), kBlock);
    // A block is a second of the piece, whatever the converter still holds back.
    EXPECT_NEAR(d.TimeTell(), 3.0f, 1e-4);
    const std::vector<int16_t> from(ref.samples.begin() + 2 * 96000, ref.samples.end());
    EXPECT_LE(MaxDifference(out, 0, ConvertedInOnePiece(from, 48000), 0, kOutRate), 1);

    // A fade is counted in output frames: half a second of it, then silence and a pause.
    d.SetVolume(0.0f, 0.5f);
    ASSERT_EQ(d.RenderingToPointer(out.data(), kBlock), kBlock);
    EXPECT_EQ(d.GetNowVolume(), 0.0f);
    EXPECT_GT(Rms(out, 0, 20000), 100.0);
    EXPECT_EQ(Rms(out, 2 * 22100, 40000), 0.0);
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
        d.Play(false);
        const Played p = PlayOut(d, 12);
        EXPECT_TRUE(p.stopped);
        EXPECT_LT(p.blocks, 9);
        EXPECT_GT(Rms(p.samples, 0, 44100), 1000.0);
    }
    // Nine channels: no mix for them; the piece ends at once rather than play silence.
    TOggData d(kRing);
    ASSERT_TRUE(d.LoadOgg(Write(fixture::Sine(0.5, {440.0}, 9, 44100), "nine.ogg")));
    EXPECT_FALSE(d.Renderable());
    d.Play(false);
    const Played p = PlayOut(d, 3);
    EXPECT_TRUE(p.stopped);
    EXPECT_EQ(p.soundFrames, 0);
}
