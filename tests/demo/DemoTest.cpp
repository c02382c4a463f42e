// The demo piece: its loop must be seamless, its container well formed, its sound unclipped.
#include "DemoPiece.h"
#include "DemoSynth.h"
#include "OggFixture.h"
#include "QvWriter.h"
#include "RunProgram.h"

#include <gtest/gtest.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdlib>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

float ReadFloat(const std::vector<uint8_t>& b, size_t at) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

int32_t ReadInt(const std::vector<uint8_t>& b, size_t at) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b[at + i]) << (8 * i);
    return static_cast<int32_t>(v);
}

double Rms(const std::vector<double>& v) {
    double s = 0.0;
    for (double x : v) s += x * x;
    return v.empty() ? 0.0 : std::sqrt(s / v.size());
}

}  // namespace

// The folded period must be exactly what a listener hears once the section has been playing a
// while: the third pass of the section played straight through, releases and room included.
TEST(DemoPiece, LoopPeriodIsTheSectionPlayedOnAndOn) {
    const std::vector<float> period = TDemoPiece::LoopPeriod();
    const std::vector<float> through = TDemoPiece::LoopPlayedThrough(3);
    ASSERT_EQ(period.size(), static_cast<size_t>(TDemoPiece::LoopFrames) * 2);
    const size_t third = period.size() * 2;
    double worst = 0.0, peak = 0.0;
    for (size_t i = 0; i < period.size(); ++i) {
        worst = std::max(worst, static_cast<double>(std::abs(period[i] - through[third + i])));
        peak = std::max(peak, static_cast<double>(std::abs(period[i])));
    }
    EXPECT_GT(peak, 0.1);
    EXPECT_LT(worst, 1e-4 * peak) << "the loop's start does not carry what rings on from its end";
}

TEST(DemoPiece, LoopPointsOnWholeFramesAndFirstEntryMatchesTheSeam) {
    const TDemoPiece piece = TDemoPiece::Make();
    constexpr int Rate = TDemoSynth::Rate;
    EXPECT_EQ(piece.LoopStartFrame, 8 * Rate);
    EXPECT_EQ(piece.LoopEndFrame, 24 * Rate);
    EXPECT_EQ(static_cast<int64_t>(piece.Pcm.size() / 2), piece.LoopEndFrame + TDemoPiece::OutroFrames);
    double peak = 0.0;
    for (float s : piece.Pcm) peak = std::max(peak, static_cast<double>(std::abs(s)));
    EXPECT_NEAR(peak, TDemoPiece::Peak, 1e-6);
    // Entering the loop from the intro passes the same seam as jumping back from LoopEnd: the
    // intro's last frames are the loop's last frames.
    const size_t s0 = static_cast<size_t>(piece.LoopStartFrame) * 2;
    const size_t s1 = static_cast<size_t>(piece.LoopEndFrame) * 2;
    for (int ch = 0; ch < 2; ++ch) EXPECT_NEAR(piece.Pcm[s0 - 2 + ch], piece.Pcm[s1 - 2 + ch], 1e-3);
    // The outro begins as the loop begins.
    for (size_t i = 0; i < 64; ++i) EXPECT_NEAR(piece.Pcm[s1 + i], piece.Pcm[s0 + i], 1e-3);
}

TEST(QvWriter, HeaderLayoutLittleEndianWithUnusedEntriesZero) {
    const std::vector<uint8_t> h = TQvWriter::Header({{8.0f, 24.0f, -1}, {1.5f, 2.5f, 3}});
    ASSERT_EQ(h.size(), 200u);
    EXPECT_EQ(std::string(h.begin(), h.begin() + 8), "OSTRAOGG");
    EXPECT_EQ(ReadFloat(h, 8), 8.0f);
    EXPECT_EQ(ReadFloat(h, 12), 24.0f);
    EXPECT_EQ(h[16], 0xff);
    EXPECT_EQ(ReadInt(h, 16), -1);
    EXPECT_EQ(ReadFloat(h, 20), 1.5f);
    EXPECT_EQ(ReadFloat(h, 24), 2.5f);
    EXPECT_EQ(ReadInt(h, 28), 3);
    EXPECT_TRUE(std::all_of(h.begin() + 32, h.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(h, fixture::ContainerHeader({{8.0f, 24.0f, -1}, {1.5f, 2.5f, 3}}));
}

TEST(QvWriter, WriteFailsCleanlyWhereNoFileCanBeMade) {
    const std::string dir = fixture::TempDir() + "/no-such-dir";
    EXPECT_FALSE(TQvWriter::Write(dir + "/x.qv", TQvWriter::Header({}), {1, 2, 3}));
    EXPECT_FALSE(std::filesystem::exists(dir + "/x.qv.part"));

    const std::string ok = fixture::TempDir() + "/y.qv";
    ASSERT_TRUE(TQvWriter::Write(ok, TQvWriter::Header({}), {'O', 'g', 'g', 'S'}));
    const std::vector<uint8_t> back = fixture::ReadFile(ok);
    ASSERT_EQ(back.size(), 204u);
    EXPECT_EQ(std::string(back.begin() + 200, back.end()), "OggS");
    EXPECT_FALSE(std::filesystem::exists(ok + ".part"));
}

// The file the build wrote: header, comments, length, level and the seam after decoding.
TEST(DemoFile, BuiltContainerLoopsSeamlesslyAfterDecoding) {
    const std::string path = fixture::BinDir() + "/demo/demo.qv";
    ASSERT_TRUE(std::filesystem::exists(path)) << path;
    const std::vector<uint8_t> file = fixture::ReadFile(path);
    ASSERT_GT(file.size(), 200u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 8), "OSTRAOGG");
    EXPECT_EQ(ReadFloat(file, 8), 8.0f);
    EXPECT_EQ(ReadFloat(file, 12), 24.0f);
    EXPECT_EQ(ReadInt(file, 16), -1);
    EXPECT_TRUE(std::all_of(file.begin() + 20, file.begin() + 200, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(std::string(file.begin() + 200, file.begin() + 204), "OggS");

    const std::vector<uint8_t> ogg(file.begin() + 200, file.end());
    const std::string oggPath = fixture::WriteTemp(ogg, "demo.ogg");
    OggVorbis_File vf;
    ASSERT_EQ(ov_fopen(oggPath.c_str(), &vf), 0);
    const vorbis_comment* vc = ov_comment(&vf, -1);
    const char* title = vorbis_comment_query(const_cast<vorbis_comment*>(vc), "TITLE", 0);
    ASSERT_NE(title, nullptr);
    EXPECT_STREQ(title, "デモ曲 ループの森");
    EXPECT_NE(vorbis_comment_query(const_cast<vorbis_comment*>(vc), "ARTIST", 0), nullptr);
    ov_clear(&vf);

    const fixture::Decoded d = fixture::ReferenceDecode(ogg);
    ASSERT_EQ(d.channels, 2);
    ASSERT_EQ(d.rate, 44100);
    const int64_t s0 = 8 * 44100, s1 = 24 * 44100;
    ASSERT_GE(d.Frames(), s1 + 44100);
    int peak = 0;
    for (int16_t s : d.samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LT(peak, 32000) << "clipping";
    EXPECT_GT(peak, 16000) << "too quiet";

    // The jump from the last frame before LoopEnd to the frame at LoopStart is an ordinary step.
    auto at = [&](int64_t frame, int ch) { return static_cast<double>(d.samples[static_cast<size_t>(frame * 2 + ch)]); };
    double localStep = 0.0, jump = 0.0;
    for (int ch = 0; ch < 2; ++ch) {
        for (int64_t f = s1 - 200; f < s1; ++f) localStep = std::max(localStep, std::abs(at(f, ch) - at(f - 1, ch)));
        jump = std::max(jump, std::abs(at(s0, ch) - at(s1 - 1, ch)));
    }
    EXPECT_LE(jump, localStep);
    // What follows LoopEnd in the file (the loop's start again) is what the jump plays, up to the codec's noise.
    std::vector<double> diff, ref;
    for (int64_t f = 0; f < 4410; ++f) {
        for (int ch = 0; ch < 2; ++ch) {
            diff.push_back(at(s1 + f, ch) - at(s0 + f, ch));
            ref.push_back(at(s0 + f, ch));
        }
    }
    EXPECT_LT(Rms(diff), 0.35 * Rms(ref));
}

// Played through the engine (qvtool render plays it as the stream player does), the section after
// the jump back is the first pass again, sample for sample, pass after pass.
TEST(DemoFile, EngineLoopsItSampleExactly) {
    const std::string wav = fixture::TempDir() + "/demo-render.wav";
    const fixture::RunResult r = fixture::RunQvtool({"render", fixture::BinDir() + "/demo/demo.qv", wav, "--seconds", "50"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<uint8_t> bytes = fixture::ReadFile(wav);
    ASSERT_GT(bytes.size(), 44u);
    const size_t frames = (bytes.size() - 44) / 4;
    ASSERT_GE(frames, static_cast<size_t>(50 * 44100));
    auto frame = [&](size_t f) { return bytes.begin() + 44 + static_cast<std::ptrdiff_t>(f * 4); };
    const size_t s0 = 8 * 44100, period = 16 * 44100;
    // passes 2 and 3 (24..40 s and 40..50 s) against pass 1 (8..24 s)
    EXPECT_TRUE(std::equal(frame(s0 + period), frame(s0 + 2 * period), frame(s0)));
    EXPECT_TRUE(std::equal(frame(s0 + 2 * period), frame(frames), frame(s0)));
}
