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

// Every spelling, mixed families and cases, frames and times, agreeing and conflicting tags, ends
// just past the stream and bad values, read from the comments of a stream of 1,000,000 frames at
// 44100 Hz. A found loop gives its frames and the tags it came from; a refused one names the tags
// and the reason.
TEST(LoopTags, TheRulesOverEverySpelling)
{
    constexpr int64_t total = 1000000;
    constexpr int32_t rate = 44100;
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
        // SDL3_mixer's hyphens, and the forms vgmstream knows from games.
        {{"LOOP-START=7", "LOOP-LENGTH=9"}, 7, 16, "LOOP-START/LOOP-LENGTH"},
        {{"loop-start=7", "Loop-End=9"}, 7, 9, "loop-start/Loop-End"},
        {{"XIPH_CUE_LOOPSTART=100", "XIPH_CUE_LOOPEND=900"}, 100, 900, "XIPH_CUE_LOOPSTART/XIPH_CUE_LOOPEND"},
        {{"LOOPPOINT=4410"}, 4410, total, "LOOPPOINT"},
        {{"COMMENT=LOOPPOINT=4410"}, 4410, total, "COMMENT=LOOPPOINT"},
        {{"comment=looppoint= 12 "}, 12, total, "comment=looppoint"},
        {{"um3.stream.looppoint.start=300", "LOOPLENGTH=5"}, 300, 305, "um3.stream.looppoint.start/LOOPLENGTH"},
        {{"COMMENT=loop(100,2000)"}, 100, 2000, "COMMENT=loop()"},
        {{"COMMENT=Loop( 0:01 , 0:02.5 )"}, 44100, 110250, "COMMENT=Loop()"},
        // Times: a colon or a point, to the nearest frame; LOOPMS in milliseconds.
        {{"LOOPSTART=0:01.5", "LOOPEND=00:00:02.000"}, 66150, 88200, "LOOPSTART/LOOPEND"},
        {{"LOOP_START=1.5", "LOOP_END=22.67573"}, 66150, 1000000, "LOOP_START/LOOP_END"},
        {{"LOOPSTART=0.0000113", "LOOPLENGTH=0:10"}, 0, 441000, "LOOPSTART/LOOPLENGTH"},
        {{"LOOPSTART=0.0000114"}, 1, total, "LOOPSTART"},
        {{"LOOPSTART=1.0000000000001", "LOOPEND=2"}, -1, 0, "the loop start (44100) is not before its end (2)"},
        {{"LOOPMS=1500"}, 66150, total, "LOOPMS"},
        {{"LOOPMS=0.5", "LOOPEND=100"}, 22, 100, "LOOPMS/LOOPEND"},
        // A time and a frame tag agree within what the time's last digit stands for; the frames
        // are taken. Outside it they disagree.
        {{"LOOPSTART=1.5", "LOOP_START=68000"}, 68000, total, "LOOPSTART/LOOP_START"},
        {{"LOOPMS=1000", "LOOPPOINT=44120"}, 44120, total, "LOOPMS/LOOPPOINT"},
        {{"LOOPMS=1000", "LOOPPOINT=44200"}, -1, 0, "LOOPMS=1000, LOOPPOINT=44200: the tags give different loop starts"},
        {{"LOOPSTART=1.50", "LOOP_START=68000"}, -1, 0, "different loop starts"},
        {{"LOOPSTART=0", "LOOPEND=2", "LOOPLENGTH=0:00.0001"}, 0, 2, "LOOPSTART/LOOPEND/LOOPLENGTH"},
        // An end less than a second past the last frame loops at the last frame (with a warning
        // checked below); further out it is refused.
        {{"LOOPSTART=10", "LOOPEND=1022050"}, 10, total, "LOOPSTART/LOOPEND"},
        {{"LOOPSTART=10", "LOOPLENGTH=1044090"}, 10, total, "LOOPSTART/LOOPLENGTH"},
        {{"LOOP_START=0:10", "LOOP_END=0:23.2"}, 441000, total, "LOOP_START/LOOP_END"},
        {{"LOOPSTART=10", "LOOPEND=1044101"}, -1, 0, "LOOPEND=1044101: the loop end (frame 1044101) lies 44101 frames past the last frame of the stream (1000000 frames), more than a second"},
        {{"LOOP_START=0:10", "LOOP_END=0:24"}, -1, 0, "LOOP_END=0:24: the loop end (frame 1058400) lies"},
        {{"LOOPSTART=1000000", "LOOPEND=1000001"}, -1, 0, "the loop start (1000000) is not before its end (1000000)"},
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
        {{"LOOPSTART=-5", "LOOPLENGTH=9"}, -1, 0, "LOOPSTART=-5: not a frame number or a time"},
        {{"LOOPSTART=10", "LOOPLENGTH=1e5"}, -1, 0, "LOOPLENGTH=1e5: not a frame number"},
        {{"LOOPSTART=99999999999999999999999"}, -1, 0, "too large a frame number"},
        {{"LOOPSTART=9007199254740993"}, -1, 0, "too large"},
        {{"LOOPSTART=99999999999:00"}, -1, 0, "too large a time"},
        {{"LOOPDEFS=12"}, -1, 0, "LOOPDEFS=12: wants two values"},
        {{"lp=1,2,3"}, -1, 0, "not a frame number"},
        {{"COMMENT=loop(1,2"}, -1, 0, "COMMENT=loop(1,2: wants start,end and a closing )"},
        {{"LOOPEND=100"}, -1, 0, "LOOPEND=100: a loop end without its start"},
        {{"LOOPLENGTH=100"}, -1, 0, "without its start"},
        {{"XIPH_CUE_LOOPEND=100"}, -1, 0, "without its start"},
        // Malformed times and milliseconds.
        {{"LOOPSTART=1:75"}, -1, 0, "LOOPSTART=1:75: minutes and seconds after a colon run from 0 to 59"},
        {{"LOOPSTART=1:2:3:4"}, -1, 0, "not a frame number or a time"},
        {{"LOOPSTART=1."}, -1, 0, "not a frame number or a time"},
        {{"LOOPSTART=.5"}, -1, 0, "not a frame number or a time"},
        {{"LOOPSTART=1.5.2"}, -1, 0, "not a frame number or a time"},
        {{"LOOPSTART=1:"}, -1, 0, "not a frame number or a time"},
        {{"LOOPSTART=1,5"}, -1, 0, "not a frame number or a time"},
        {{"LOOPMS=1:00"}, -1, 0, "LOOPMS=1:00: not a number of milliseconds"},
        {{"LOOPMS="}, -1, 0, "not a number of milliseconds"},
        {{"LOOPSTART=5", "LOOPEND=5"}, -1, 0, "the loop start (5) is not before its end (5)"},
        {{"LOOPSTART=1000000"}, -1, 0, "not before its end"},
        {{"LOOPSTART=9", "LOOPLENGTH=0"}, -1, 0, "not before its end"},
        // Not loop tags.
        {{"LOOPSTARTED=1", "TITLE=LOOPSTART=5", "LOOP=3"}, -2, 0, ""},
    };
    for (const auto& c : cases) {
        std::vector<std::string> comments{"TITLE=x"};
        comments.insert(comments.end(), c.tags.begin(), c.tags.end());
        const TTaggedLoop r = TLoopTags::Read(comments, total, rate);
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
            // Only an end moved back to the last frame warns.
            EXPECT_EQ(r.Warning.empty(), c.tags.back().find("10220") == std::string::npos &&
                                             c.tags.back().find("10440") == std::string::npos &&
                                             c.tags.back().find("23.2") == std::string::npos)
                << what << ": " << r.Warning;
        }
    }
    // The reading names each tag used and how its value was taken; a warning, the end moved.
    TTaggedLoop r = TLoopTags::Read({"LOOPSTART=1:02.5", "LOOPLENGTH=441000"}, 20000000, rate);
    EXPECT_EQ(r.Reading, "LOOPSTART=1:02.5 (time, frame 2756250) / LOOPLENGTH=441000 (frames)");
    r = TLoopTags::Read({"lp=0:01,88200\r", "LOOPMS=1000", "LOOPLENGTH=1.0"}, total, rate);
    EXPECT_EQ(r.Reading, "lp=0:01,88200 (start: time, frame 44100; end: frames) / LOOPMS=1000 (milliseconds, "
                         "frame 44100) / LOOPLENGTH=1.0 (time, 44100 frames)");
    r = TLoopTags::Read({"LOOPSTART=10", "LOOPEND=1000001"}, total, rate);
    EXPECT_EQ(r.Warning, "LOOPEND=1000001: the loop end (frame 1000001) lies 1 frame past the last frame of the "
                         "stream (1000000 frames); the loop runs to the last frame");
    // With the stream's length unknown, an open loop has no end, and no end is past it; with its
    // rate unknown a time names no frame.
    EXPECT_FALSE(TLoopTags::Read({"LOOPSTART=5"}, 0, rate).End.has_value());
    EXPECT_EQ(TLoopTags::Read({"LOOPSTART=5", "LOOPEND=99999999"}, 0, rate).End.value_or(-1), 99999999);
    EXPECT_EQ(TLoopTags::Read({"LOOPSTART=1.5"}, total, 0).Message, "LOOPSTART=1.5: a time, but the stream's rate is not known");
    // At another rate a time names other frames.
    EXPECT_EQ(TLoopTags::Read({"LOOP_START=1:00.25", "LOOPMS=60250"}, 0, 48000).Start, 2892000);
    for (const char* tag : {"LOOPLENGTH=1", "lp=1,2", "loop_length=3", "Loop_Begin=1", "LOOP-END=x", "LOOPMS=1",
                            "COMMENT=LOOPPOINT=", "Comment=Loop(", "XIPH_CUE_LOOPSTART=", "UM3.Stream.LoopPoint.Start="})
        EXPECT_TRUE(TLoopTags::IsLoopTag(tag)) << tag;
    for (const char* tag : {"LOOPSTARTED=1", "TITLE=LOOPSTART", "LOOP=1", "LoopStart", "COMMENT=loop", "COMMENT=x",
                            "LOOP-BEGIN=1", "XIPH_CUE_LOOP=1"})
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
