// Loop tags as other tools write them, and the float times chosen to land playback on frames:
// checked against the renderer's own arithmetic and against real decoder seeks.
#include "LoopFit.h"
#include "LoopTags.h"
#include "OggFixture.h"

#include <gtest/gtest.h>

#include <vorbis/vorbisfile.h>

#include <random>
#include <string>
#include <vector>

namespace {

// Every spelling, mixed families and cases, agreeing and conflicting tags and bad values, read
// from the comments of a stream of 1,000,000 frames. A found loop gives its frames and the tags
// it came from; a refused one names the tags and the reason.
TEST(LoopTags, TheRulesOverEverySpelling)
{
    constexpr int64_t total = 1000000;
    struct Case {
        std::vector<std::string> tags;
        int64_t start;  // -1: refused, and `text` is in the message; -2: no loop tags
        int64_t end;
        std::string text;  // the form found, or what the refusal says
    };
    const std::vector<Case> cases{
        {{"LOOPSTART=100", "LOOPLENGTH=50"}, 100, 150, "LOOPSTART/LOOPLENGTH"},
        {{"LOOPSTART=100", "LOOPEND=170"}, 100, 170, "LOOPSTART/LOOPEND"},
        {{"LOOP_START=7", "LOOP_END=9"}, 7, 9, "LOOP_START/LOOP_END"},
        {{"LOOP_BEGIN=7", "LOOP_END=19"}, 7, 19, "LOOP_BEGIN/LOOP_END"},
        {{"loop_start=3", "loop_end=4"}, 3, 4, "loop_start/loop_end"},
        {{"loopstart=22222", "looplength=1200"}, 22222, 23422, "loopstart/looplength"},
        // One family's start with another's end or length, in any case.
        {{"LoopStart=22222", "LoopLength=120000"}, 22222, 142222, "LoopStart/LoopLength"},
        {{"LOOPSTART=5", "looplength=10"}, 5, 15, "LOOPSTART/looplength"},
        {{"LOOP_START=5", "LOOP_LENGTH=10"}, 5, 15, "LOOP_START/LOOP_LENGTH"},
        {{"LOOPSTART=5", "LOOP_END=90"}, 5, 90, "LOOPSTART/LOOP_END"},
        {{"LOOPSTART=5", "LoopEnd=90"}, 5, 90, "LOOPSTART/LoopEnd"},
        {{"LoopStart=5", "LOOPEND=90"}, 5, 90, "LoopStart/LOOPEND"},
        {{"LOOPDEFS=5,600"}, 5, 600, "LOOPDEFS"},
        {{"lp= 5 , 601\r\n"}, 5, 601, "lp"},
        // A start alone loops to the last frame; tags that agree are one loop.
        {{"LOOPSTART=44100"}, 44100, total, "LOOPSTART"},
        {{"LOOPSTART=10", "LOOPLENGTH=20", "LOOPEND=30", "LOOP_START=10"}, 10, 30, "LOOPSTART/LOOP_START/LOOPEND/LOOPLENGTH"},
        {{"LOOPSTART=0", "LOOPEND=1000000"}, 0, total, "LOOPSTART/LOOPEND"},
        // Conflicts are refused, naming the tags.
        {{"LOOPSTART=1", "LOOPSTART=2", "LOOPLENGTH=10"}, -1, 0, "LOOPSTART=1, LOOPSTART=2: the tags give different loop starts"},
        {{"LOOPSTART=1", "LoopStart=2", "LOOPEND=10"}, -1, 0, "LOOPSTART=1, LoopStart=2"},
        {{"LOOPSTART=100", "LOOPLENGTH=50", "LOOPEND=170"}, -1, 0, "LOOPEND=170, LOOPLENGTH=50: the tags give different loop ends (170, 150)"},
        {{"lp=1,2", "LOOPSTART=20", "LOOPEND=30"}, -1, 0, "different loop starts"},
        // Values that are no frames of this stream.
        {{"LOOPSTART=abc"}, -1, 0, "LOOPSTART=abc: not a frame number"},
        {{"LOOPSTART="}, -1, 0, "LOOPSTART=: not a frame number"},
        {{"LOOPSTART=-5", "LOOPLENGTH=9"}, -1, 0, "LOOPSTART=-5: not a frame number"},
        {{"LOOPSTART=1.5"}, -1, 0, "LOOPSTART=1.5: not a frame number"},
        {{"LOOPSTART=10", "LOOPLENGTH=1e5"}, -1, 0, "LOOPLENGTH=1e5: not a frame number"},
        {{"LOOPSTART=99999999999999999999999"}, -1, 0, "too large"},
        {{"LOOPSTART=9007199254740993"}, -1, 0, "too large"},
        {{"LOOPDEFS=12"}, -1, 0, "LOOPDEFS=12: wants two frame numbers"},
        {{"lp=1,2,3"}, -1, 0, "not a frame number"},
        {{"LOOPEND=100"}, -1, 0, "LOOPEND=100: a loop end without its start"},
        {{"LOOPLENGTH=100"}, -1, 0, "without its start"},
        {{"LOOPSTART=10", "LOOPLENGTH=1000000"}, -1, 0, "LOOPLENGTH=1000000: the loop end (frame 1000010) lies past the last frame"},
        {{"LOOPSTART=5", "LOOPEND=5"}, -1, 0, "the loop start (5) is not before its end (5)"},
        {{"LOOPSTART=1000000"}, -1, 0, "not before its end"},
        {{"LOOPSTART=9", "LOOPLENGTH=0"}, -1, 0, "not before its end"},
        // Not loop tags.
        {{"LOOPSTARTED=1", "TITLE=LOOPSTART=5", "LOOP=3"}, -2, 0, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> comments{"TITLE=x"};
        comments.insert(comments.end(), c.tags.begin(), c.tags.end());
        const TTaggedLoop r = TLoopTags::Read(comments, total);
        const std::string what = c.tags.front();
        if (c.start == -2) {
            EXPECT_EQ(r.Result, TTaggedLoop::None) << what;
        } else if (c.start == -1) {
            EXPECT_EQ(r.Result, TTaggedLoop::Bad) << what;
            EXPECT_NE(r.Message.find(c.text), std::string::npos) << what << ": " << r.Message;
        } else {
            ASSERT_EQ(r.Result, TTaggedLoop::Found) << what << ": " << r.Message;
            EXPECT_EQ(r.Start, c.start) << what;
            EXPECT_EQ(r.End.value_or(-1), c.end) << what;
            EXPECT_EQ(r.Form, c.text) << what;
        }
    }
    // With the stream's length unknown, an open loop has no end, and no end is past it.
    EXPECT_FALSE(TLoopTags::Read({"LOOPSTART=5"}, 0).End.has_value());
    EXPECT_EQ(TLoopTags::Read({"LOOPSTART=5", "LOOPEND=99999999"}, 0).End.value_or(-1), 99999999);
    for (const char* tag : {"LOOPLENGTH=1", "lp=1,2", "loop_length=3", "Loop_Begin=1"})
        EXPECT_TRUE(TLoopTags::IsLoopTag(tag)) << tag;
    for (const char* tag : {"LOOPSTARTED=1", "TITLE=LOOPSTART", "LOOP=1", "LoopStart"})
        EXPECT_FALSE(TLoopTags::IsLoopTag(tag)) << tag;
}

// Frames of pieces up to three minutes, at the output rate (played directly) and at 48000 Hz
// (converted): every one is reached exactly from the start, and reading the time back gives the
// frame. Played directly, blocks are measured from 32-bit times: past 2^7 seconds those are
// coarse enough that a later pass, its blocks starting anywhere, can land a frame off.
TEST(LoopFit, TimesLandExactlyOnFramesOfOrdinaryPieces)
{
    std::mt19937_64 random(15);
    for (int32_t rate : {44100, 48000, 22050}) {
        const int64_t total = 180LL * rate;
        const TLoopFit fit(rate, total);
        std::vector<int64_t> frames{0, 1, rate - 1, rate, rate + 1, 128LL * rate - 1, 128LL * rate, total - 1, total};
        for (int i = 0; i < 100; ++i)
            frames.push_back(static_cast<int64_t>(random() % static_cast<uint64_t>(total)));
        for (int64_t f : frames) {
            if (f < total) {
                const TLoopFit::TPoint s = fit.Start(f);
                EXPECT_EQ(s.Error, 0) << rate << " start " << f;
                EXPECT_EQ(fit.StartFrame(s.Time), f) << rate << " start " << f;
            }
            const TLoopFit::TPoint e = fit.End(f);
            EXPECT_EQ(e.FirstError, 0) << rate << " end " << f;
            EXPECT_EQ(fit.EndFrame(e.Time), f) << rate << " end " << f;
            const bool coarse = rate == 44100 && f >= 128LL * rate;
            EXPECT_LE(e.Error, coarse ? 1 : 0) << rate << " end " << f;
        }
    }
}

// Past 2^8 seconds a float's step is more than a frame at 44100 Hz: some frames cannot be
// reached, and the error says by how much the nearest time misses.
TEST(LoopFit, LongPiecesReportTheFramesMissed)
{
    const int64_t total = 20LL * 60 * 44100;
    const TLoopFit fit(44100, total);
    int missed = 0;
    for (int64_t f = 900LL * 44100; f < 900LL * 44100 + 100; ++f) {
        const TLoopFit::TPoint s = fit.Start(f);
        if (s.Error != 0) {
            ++missed;
            EXPECT_LE(s.Error, 2) << f;
        }
        EXPECT_EQ(std::llabs(fit.StartFrame(s.Time) - f), s.Error) << f;
        // A float step is 2.7 frames here: half of it for the time, half for the block's start.
        const TLoopFit::TPoint e = fit.End(f);
        EXPECT_EQ(std::llabs(fit.EndFrame(e.Time) - f), e.FirstError) << f;
        EXPECT_LE(e.Error, 3) << f;
    }
    EXPECT_GT(missed, 0);
    // Times outside the piece name no frame.
    EXPECT_EQ(fit.StartFrame(-1.0f), -1);
    EXPECT_EQ(fit.StartFrame(1300.0f), -1);
    EXPECT_EQ(fit.EndFrame(1300.0f), -1);
    EXPECT_EQ(fit.EndFrame(std::numeric_limits<float>::quiet_NaN()), -1);
}

// The decoder itself lands on the frame a chosen start time names.
TEST(LoopFit, TheDecoderSeeksToTheChosenStart)
{
    for (int rate : {44100, 48000}) {
        const auto bytes = fixture::Encode(fixture::Noise(3.0, 2, rate), {}, 0.1f);
        const std::string path = fixture::WriteTemp(bytes, "fit-" + std::to_string(rate) + ".ogg");
        OggVorbis_File vf;
        ASSERT_EQ(ov_fopen(path.c_str(), &vf), 0);
        const int64_t total = ov_pcm_total(&vf, -1);
        const TLoopFit fit(rate, total);
        for (int64_t f : {int64_t{0}, int64_t{1}, int64_t{777}, int64_t{rate} - 1, int64_t{rate} + 3, total / 2 + 1,
                          total - 1}) {
            const float t = fit.Start(f).Time;
            ASSERT_EQ(ov_time_seek(&vf, static_cast<double>(t)), 0) << f;
            EXPECT_EQ(ov_pcm_tell(&vf), f) << rate << " " << t;
        }
        ov_clear(&vf);
    }
}

}
