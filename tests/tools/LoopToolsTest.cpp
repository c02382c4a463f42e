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

TTaggedLoop Read(std::vector<std::string> comments)
{
    comments.insert(comments.begin(), "TITLE=x");
    return TLoopTags::Read(comments);
}

TEST(LoopTags, EveryFormGivesItsFrames)
{
    struct Case {
        std::vector<std::string> tags;
        int64_t start;
        int64_t end;
    };
    for (const auto& c : std::vector<Case>{
             {{"LOOPSTART=100", "LOOPLENGTH=50"}, 100, 150},
             {{"LOOPSTART=100", "LOOPEND=170"}, 100, 170},
             {{"LOOP_START=7", "LOOP_END=9"}, 7, 9},
             {{"LOOP_BEGIN=7", "LOOP_END=19"}, 7, 19},
             {{"LoopStart=1", "LoopEnd=2"}, 1, 2},
             {{"loop_start=3", "loop_end=4"}, 3, 4},
             {{"LOOPDEFS=5,600"}, 5, 600},
             {{"lp= 5 , 601\r\n"}, 5, 601},
             // The first form in order wins; LOOPLENGTH goes before LOOPEND.
             {{"lp=1,2", "LOOPEND=90", "LOOPLENGTH=10", "LOOPSTART=20"}, 20, 30},
         }) {
        const TTaggedLoop r = Read(c.tags);
        ASSERT_EQ(r.Result, TTaggedLoop::Found) << c.tags[0] << " " << r.Message;
        EXPECT_EQ(r.Start, c.start) << c.tags[0];
        ASSERT_TRUE(r.End.has_value()) << c.tags[0];
        EXPECT_EQ(*r.End, c.end) << c.tags[0];
    }
    const TTaggedLoop open = Read({"LOOPSTART=44100"});
    EXPECT_EQ(open.Result, TTaggedLoop::Found);
    EXPECT_FALSE(open.End.has_value());
    // Names are matched exactly.
    EXPECT_EQ(Read({"loopstart=1", "Loop_Start=2", "LOOPSTARTX=3"}).Result, TTaggedLoop::None);
}

TEST(LoopTags, BadValuesAreRefusedWithTheTag)
{
    for (const auto& [tag, why] : std::vector<std::pair<std::string, std::string>>{
             {"LOOPSTART=abc", "not a frame number"},
             {"LOOPSTART=", "not a frame number"},
             {"LOOPSTART=-5", "not a frame number"},
             {"LOOPSTART=1.5", "not a frame number"},
             {"LOOPSTART=99999999999999999999999", "too large"},
             {"LOOPSTART=9007199254740993", "too large"},
             {"LOOPDEFS=12", "two frame numbers"},
             {"lp=1,2,3", "not a frame number"},
             {"lp=1,x", "not a frame number"},
             {"LOOPEND=100", "without its start"},
             {"LOOPLENGTH=100", "without its start"},
         }) {
        const TTaggedLoop r = Read({tag});
        EXPECT_EQ(r.Result, TTaggedLoop::Bad) << tag;
        EXPECT_NE(r.Message.find(tag), std::string::npos) << r.Message;
        EXPECT_NE(r.Message.find(why), std::string::npos) << r.Message;
    }
    const TTaggedLoop r = Read({"LOOPSTART=10", "LOOPLENGTH=1e5"});
    EXPECT_EQ(r.Result, TTaggedLoop::Bad);
    EXPECT_NE(r.Message.find("LOOPLENGTH=1e5"), std::string::npos);
    EXPECT_TRUE(TLoopTags::IsLoopTag("LOOPLENGTH=1"));
    EXPECT_TRUE(TLoopTags::IsLoopTag("lp=1,2"));
    EXPECT_FALSE(TLoopTags::IsLoopTag("LOOPSTARTED=1"));
    EXPECT_FALSE(TLoopTags::IsLoopTag("TITLE=LOOPSTART"));
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
