// qvtool render, run as a process; its WAV files are compared with a direct decode.
#include "OggFixture.h"
#include "RunProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kBlockSamples = 176400 / 2;

using Result = fixture::RunResult;
using fixture::RunProgram;
const auto Qv = fixture::RunQvtool;

uint32_t Le32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

// The samples of a WAV file written by render, after checking its header.
std::vector<int16_t> ReadWave(const std::string& path)
{
    const auto b = fixture::ReadFile(path);
    EXPECT_GE(b.size(), 44u);
    if (b.size() < 44)
        return {};
    EXPECT_EQ(std::memcmp(b.data(), "RIFF", 4), 0);
    EXPECT_EQ(Le32(b, 4), b.size() - 8);
    EXPECT_EQ(std::memcmp(b.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(Le32(b, 16), 16u);
    EXPECT_EQ(Le32(b, 20), 1u | (2u << 16));  // PCM, two channels
    EXPECT_EQ(Le32(b, 24), 44100u);
    EXPECT_EQ(Le32(b, 28), 176400u);
    EXPECT_EQ(Le32(b, 32), 4u | (16u << 16));
    EXPECT_EQ(std::memcmp(b.data() + 36, "data", 4), 0);
    EXPECT_EQ(Le32(b, 40), b.size() - 44);
    std::vector<int16_t> s((b.size() - 44) / 2);
    std::memcpy(s.data(), b.data() + 44, s.size() * 2);
    return s;
}

int16_t Scaled(int s)
{
    return static_cast<int16_t>(s);  // full volumes pass each sample as it is
}

::testing::AssertionResult Same(const std::vector<int16_t>& out, size_t at, const fixture::Decoded& ref, size_t from,
                                size_t frames)
{
    if (out.size() < (at + frames) * 2 || ref.samples.size() < (from + frames) * 2)
        return ::testing::AssertionFailure() << "too short";
    for (size_t i = 0; i < frames * 2; ++i)
        if (out[at * 2 + i] != Scaled(ref.samples[from * 2 + i]))
            return ::testing::AssertionFailure() << "frame " << at + i / 2;
    return ::testing::AssertionSuccess();
}

// A 16-bit PCM WAVE file of generated samples, for oggenc.
std::vector<uint8_t> Wave(const fixture::Pcm& pcm)
{
    std::vector<uint8_t> out(44);
    const auto bytes = static_cast<uint32_t>(pcm.samples.size() * 2);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    std::memcpy(out.data(), "RIFF\0\0\0\0WAVEfmt ", 16);
    put32(4, 36 + bytes);
    put32(16, 16);
    put32(20, 1u | (static_cast<uint32_t>(pcm.channels) << 16));
    put32(24, static_cast<uint32_t>(pcm.rate));
    put32(28, static_cast<uint32_t>(pcm.rate * pcm.channels * 2));
    put32(32, static_cast<uint32_t>(pcm.channels * 2) | (16u << 16));
    std::memcpy(out.data() + 36, "data", 4);
    put32(40, bytes);
    for (float s : pcm.samples) {
        const auto v = static_cast<uint16_t>(static_cast<int16_t>(s * 32767.0f));
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
    return out;
}

}

TEST(QvRender, StockEncoderContainerLoopsSampleExactly)
{
    if (std::system("command -v oggenc >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "oggenc is not installed";
    const auto wav = fixture::WriteTemp(Wave(fixture::Noise(6.5, 2, 44100, 0.3, 21)), "stock-src.wav");
    const std::string ogg = fixture::TempDir() + "/stock-src.ogg";
    ASSERT_EQ(RunProgram("oggenc", {"-Q", "-q", "3", "-o", ogg, wav}).code, 0);
    const std::string qv = fixture::TempDir() + "/stock-loop.qv";
    ASSERT_EQ(Qv({"make", ogg, qv, "--loop", "1.5:4.25:-1"}).code, 0);
    const std::string out = fixture::TempDir() + "/stock-loop.wav";
    const Result r = Qv({"render", qv, out, "--seconds", "12"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto samples = ReadWave(out);
    ASSERT_EQ(samples.size(), 12 * kBlockSamples);

    const auto ref = fixture::ReferenceDecode(ogg);
    const size_t start = 66150, end = 187425;  // 1.5 s and 4.25 s
    EXPECT_TRUE(Same(samples, 0, ref, 0, end));
    for (size_t join = end; join + (end - start) <= 12 * 44100; join += end - start)
        EXPECT_TRUE(Same(samples, join, ref, start, end - start)) << "join at frame " << join;
}

TEST(QvRender, StopsAtTheEndAndHonoursItsOptions)
{
    const auto bytes = fixture::Encode(fixture::Noise(2.5, 2, 44100, 0.4, 8));
    const auto in = fixture::WriteTemp(bytes, "options.ogg");
    const auto ref = fixture::ReferenceDecode(bytes);
    const std::string out = fixture::TempDir() + "/options.wav";

    // The block in which the data ends is the last, written whole with its zero fill.
    ASSERT_EQ(Qv({"render", in, out, "--force"}).code, 0);
    auto s = ReadWave(out);
    ASSERT_EQ(s.size(), 3 * kBlockSamples);
    EXPECT_TRUE(Same(s, 0, ref, 0, static_cast<size_t>(ref.Frames())));
    for (size_t i = static_cast<size_t>(ref.Frames()) * 2; i < s.size(); ++i)
        ASSERT_EQ(s[i], 0) << i;

    ASSERT_EQ(Qv({"render", in, out, "--repeat", "--seconds", "4", "--force"}).code, 0);
    s = ReadWave(out);
    ASSERT_EQ(s.size(), 4 * kBlockSamples);
    EXPECT_TRUE(Same(s, static_cast<size_t>(ref.Frames()), ref, 44, 44100));

    ASSERT_EQ(Qv({"render", in, out, "--seek", "1", "--seconds", "1", "--force"}).code, 0);
    s = ReadWave(out);
    ASSERT_EQ(s.size(), kBlockSamples);
    EXPECT_TRUE(Same(s, 0, ref, 44100, 44100));

    // A fade to silence over two seconds, then the block that pauses: silence, and the end.
    ASSERT_EQ(Qv({"render", in, out, "--volume", "0:2", "--force"}).code, 0);
    s = ReadWave(out);
    ASSERT_EQ(s.size(), 3 * kBlockSamples);
    // The first frame already has one step of the fade: 255/256 of it, to the nearest.
    const int first = ref.samples[0] * 255;
    EXPECT_EQ(s[0], static_cast<int16_t>(first >= 0 ? (first + 128) / 256 : -((-first + 128) / 256)));
    EXPECT_EQ(s[2 * kBlockSamples - 1], 0);
    for (size_t i = 2 * kBlockSamples; i < s.size(); ++i)
        ASSERT_EQ(s[i], 0) << i;

    // Every band doubled: the equaliser doubles each sample, then the volume stage scales it.
    ASSERT_EQ(Qv({"render", in, out, "--eq4", "2,2,2,2", "--seconds", "1", "--force"}).code, 0);
    s = ReadWave(out);
    ASSERT_EQ(s.size(), kBlockSamples);
    for (size_t i = 0; i < s.size(); ++i) {
        const int doubled = std::clamp(2 * ref.samples[i], -32767, 32767);
        ASSERT_EQ(s[i], Scaled(doubled)) << i;
    }
}

TEST(QvRender, OtherRatesRenderAndUnrenderableStreamsEnd)
{
    // 48000 Hz: converted, 2.5 s of sound in three blocks, then the end.
    const auto in = fixture::WriteTemp(fixture::Encode(fixture::Sine(2.5, {1000.0}, 2, 48000)), "r48.ogg");
    const std::string out = fixture::TempDir() + "/r48.wav";
    ASSERT_EQ(Qv({"render", in, out, "--force"}).code, 0);
    auto s = ReadWave(out);
    ASSERT_EQ(s.size(), 3 * kBlockSamples);
    const size_t end = 2 * 110250;
    EXPECT_GT(*std::max_element(s.begin() + end - 2000, s.begin() + end), 8000);
    for (size_t i = end; i < s.size(); ++i)
        ASSERT_EQ(s[i], 0) << i;

    // Nine channels cannot be mixed down: one silent block, however long the render asked for.
    const auto nine = fixture::WriteTemp(fixture::Encode(fixture::Sine(1.0, {440.0}, 9)), "r9.ogg");
    ASSERT_EQ(Qv({"render", nine, out, "--seconds", "3", "--force"}).code, 0);
    s = ReadWave(out);
    ASSERT_EQ(s.size(), kBlockSamples);
    for (int16_t v : s)
        ASSERT_EQ(v, 0);
}

// A chained file, 2 s at 44100 Hz then 2 s at 22050 Hz: info tells the whole length, and render
// gives 4 s of sound, each link as the render of its own file (the converted one up to one step of
// rounding, as its converter's work is cut into calls differently).
TEST(QvRender, ChainedLinksPlayAtTheirOwnRates)
{
    std::vector<uint8_t> chain;
    std::vector<int16_t> alone;
    for (int rate : {44100, 22050}) {
        const auto bytes = fixture::Encode(fixture::Noise(2.0, 2, rate, 0.4, 31), {}, 0.4f, rate);
        chain.insert(chain.end(), bytes.begin(), bytes.end());
        const std::string out = fixture::TempDir() + "/link.wav";
        ASSERT_EQ(Qv({"render", fixture::WriteTemp(bytes, "link.ogg"), out, "--force"}).code, 0);
        const auto s = ReadWave(out);
        alone.insert(alone.end(), s.begin(), s.begin() + 2 * 88200);
    }
    const auto in = fixture::WriteTemp(chain, "chain.ogg");
    const Result info = Qv({"info", in});
    EXPECT_NE(info.out.find("total_time: 4.000000\npcm_bytes: 705600\n"), std::string::npos) << info.out;

    const std::string out = fixture::TempDir() + "/chain.wav";
    ASSERT_EQ(Qv({"render", in, out, "--force"}).code, 0);
    const auto s = ReadWave(out);
    ASSERT_GE(s.size(), alone.size());
    for (size_t k = 0; k < s.size(); ++k)
        ASSERT_LE(std::abs(s[k] - (k < alone.size() ? alone[k] : 0)), k < 2 * 88200 || k >= alone.size() ? 0 : 1) << k;
}

TEST(QvRender, ErrorsAndUsage)
{
    const std::string out = fixture::TempDir() + "/err.wav";
    const auto text = fixture::WriteTemp({'n', 'o', 't', ' ', 'o', 'g', 'g'}, "text.ogg");
    Result r = Qv({"render", text, out});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, text + ": not an Ogg Vorbis file (ファイルの読み込みに失敗)\n");
    EXPECT_EQ(Qv({"render", fixture::TempDir() + "/missing.ogg", out}).code, 1);
    const auto ok = fixture::WriteTemp(fixture::Encode(fixture::Silence(0.5)), "quiet.ogg");
    EXPECT_EQ(Qv({"render", ok}).code, 2);
    EXPECT_EQ(Qv({"render", ok, out, "--seconds", "-1"}).code, 2);
    EXPECT_EQ(Qv({"render", ok, out, "--seconds"}).code, 2);
    EXPECT_EQ(Qv({"render", ok, out, "--volume", "0.5"}).code, 2);
    EXPECT_EQ(Qv({"render", ok, out, "--eq4", "1,2,3"}).code, 2);
    EXPECT_EQ(Qv({"render", ok, out, "--seek", "x"}).code, 2);
    EXPECT_EQ(Qv({"render", ok, out, "--loud"}).code, 2);
    EXPECT_EQ(Qv({"render", ok, fixture::TempDir() + "/no/such/dir/out.wav"}).code, 1);
}
