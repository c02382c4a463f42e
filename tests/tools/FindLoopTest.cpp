// qvtool find-loop and check, run as processes on pieces made at test time: a section of known
// length repeated (tonal, noisy, percussive, after an intro), encoded to Vorbis.
#include "LoopFit.h"
#include "LoopPiece.h"
#include "OggFixture.h"
#include "RunProgram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

using fixture::Kind;
using fixture::Pcm;
using fixture::Piece;
using fixture::Section;
const auto Qv = fixture::RunQvtool;

struct Row {
    double start = 0, end = 0, length = 0, db = 0;
    long long startFrame = -1, endFrame = -1, frames = -1;
};

// The proposals find-loop printed, best first.
std::vector<Row> Rows(const std::string& out)
{
    std::vector<Row> rows;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        Row r;
        int n = 0;
        if (std::sscanf(line.c_str(), "%d %lf %lld %lf %lld %lf %lld %lf", &n, &r.start, &r.startFrame, &r.end,
                        &r.endFrame, &r.length, &r.frames, &r.db) == 8)
            rows.push_back(r);
    }
    return rows;
}

// A container of the Ogg bytes with one entry looping frames start .. end for ever.
std::string Container(const std::vector<uint8_t>& ogg, int rate, int64_t start, int64_t end, const std::string& name)
{
    const TLoopFit fit(rate, 0);
    std::vector<uint8_t> bytes = fixture::ContainerHeader({{fit.Start(start).Time, fit.End(end).Time, -1}});
    bytes.insert(bytes.end(), ogg.begin(), ogg.end());
    return fixture::WriteTemp(bytes, name);
}

std::string Write(const Pcm& pcm, const std::string& name, float quality = 0.4f)
{
    return fixture::WriteTemp(fixture::Encode(pcm, {}, quality), name);
}

constexpr double kIntro = 3.1;
// A period that is no round number of anything: 4.28 s.
constexpr int64_t kPeriod = 4 * 44100 + 12345;

struct Case {
    const char* name;
    Kind kind;
    double intro;
    double maxDb;
};

class FindLoop : public ::testing::TestWithParam<Case> {};

// The loop found is the section: its length within 2 frames of the period, its start where the
// repeat is (after the intro), its join below -40 dB. Noise is the exception the encoder makes:
// it keeps noise by its spectrum, not its waveform, so the two passes of the same noise differ
// by some -30 dB even at the highest quality, and that is what its join scores.
TEST_P(FindLoop, FindsTheRepeatedSection)
{
    const Case c = GetParam();
    const std::string file = Write(Piece(c.kind, c.intro, kPeriod, 2), std::string(c.name) + ".ogg", 1.0f);
    const auto r = Qv({"find-loop", file, "--top", "2"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const std::vector<Row> rows = Rows(r.out);
    ASSERT_FALSE(rows.empty()) << r.out;
    const Row& best = rows[0];
    EXPECT_NEAR(best.frames, kPeriod, 2) << r.out;
    EXPECT_EQ(best.endFrame - best.startFrame, best.frames);
    EXPECT_LE(best.db, c.maxDb) << r.out;
    EXPECT_GE(best.startFrame, static_cast<long long>(c.intro * 44100) - 2048) << r.out;
    EXPECT_NEAR(best.start, best.startFrame / 44100.0, 1e-4);
    EXPECT_NEAR(best.length, best.frames / 44100.0, 1e-4);
    // What find-loop proposes, check confirms.
    const std::string qv = fixture::TempDir() + "/" + c.name + ".qv";
    const auto w = Qv({"find-loop", file, "--top", "1", "--write", qv});
    ASSERT_EQ(w.code, 0) << w.out << w.err;
    const auto k = Qv({"check", qv});
    EXPECT_EQ(k.code, 0) << k.out << k.err;
    EXPECT_NE(k.out.find("seamless"), std::string::npos) << k.out;

    // Playback jumps at the printed end frame to the printed start frame: the looped render
    // is the straight one up to the end, then the straight one from the start.
    const auto seconds = std::to_string(static_cast<int>(best.endFrame / 44100) + 2);
    const std::string looped = fixture::TempDir() + "/" + c.name + "-looped.wav";
    const std::string straight = fixture::TempDir() + "/" + c.name + "-straight.wav";
    ASSERT_EQ(Qv({"render", qv, looped, "--seconds", seconds}).code, 0);
    ASSERT_EQ(Qv({"render", file, straight, "--seconds", seconds}).code, 0);
    const std::vector<uint8_t> a = fixture::ReadFile(looped), b = fixture::ReadFile(straight);
    ASSERT_GE(std::min(a.size(), b.size()), static_cast<size_t>(44 + (best.endFrame + 64) * 4));
    auto same = [&](int64_t played, int64_t source) {
        return std::memcmp(a.data() + 44 + played * 4, b.data() + 44 + source * 4, 4) == 0;
    };
    for (int64_t i = -64; i < 64; ++i)
        ASSERT_TRUE(same(best.endFrame + i, i < 0 ? best.endFrame + i : best.startFrame + i)) << i;
}

INSTANTIATE_TEST_SUITE_P(Pieces, FindLoop,
                         ::testing::Values(Case{"tonal", Kind::Tonal, 0.0, -40.0},
                                           Case{"percussive", Kind::Percussive, 0.0, -40.0},
                                           Case{"intro", Kind::Percussive, kIntro, -40.0},
                                           Case{"noisy", Kind::Noisy, kIntro, -25.0}),
                         [](const auto& info) { return std::string(info.param.name); });

// A 48000 Hz piece plays through the converter: the loop is found in the file's own frames and
// its join is judged on the converted sound.
TEST(FindLoopConverted, FindsTheRepeatInTheFilesOwnFrames)
{
    const int64_t period = 4 * 48000 + 777;
    const std::string file = Write(Piece(Kind::Tonal, kIntro, period, 2, 48000), "piece48.ogg", 1.0f);
    const auto r = Qv({"find-loop", file});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("48000 Hz"), std::string::npos);
    const std::vector<Row> rows = Rows(r.out);
    ASSERT_FALSE(rows.empty()) << r.out;
    EXPECT_NEAR(rows[0].frames, period, 2) << r.out;
    EXPECT_LE(rows[0].db, -40.0) << r.out;
    EXPECT_NEAR(rows[0].start, rows[0].startFrame / 48000.0, 1e-4);

    // check judges the converted join the same way, and a loop 1000 frames off is heard.
    const std::vector<uint8_t> ogg = fixture::ReadFile(file);
    const auto start = rows[0].startFrame;
    const auto good = Qv({"check", Container(ogg, 48000, start, start + period, "good48.qv")});
    EXPECT_EQ(good.code, 0) << good.out;
    EXPECT_NE(good.out.find("frame " + std::to_string(start) + ")"), std::string::npos) << good.out;
    const auto bad = Qv({"check", Container(ogg, 48000, start, start + period + 1000, "bad48.qv")});
    EXPECT_EQ(bad.code, 1) << bad.out;
}

TEST(FindLoopRefusal, APieceThatNeverRepeatsGetsNoLoop)
{
    Pcm pcm;
    pcm.samples = Section(Kind::Tonal, 12 * 44100, 44100, 5);
    const auto r = Qv({"find-loop", Write(pcm, "norepeat.ogg")});
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("no "), std::string::npos) << r.out;
    EXPECT_TRUE(Rows(r.out).empty()) << r.out;
}

TEST(FindLoopRefusal, WriteNeverReplacesAFileUnlessForced)
{
    const std::string file = Write(Piece(Kind::Tonal, 0.0, kPeriod, 2), "force.ogg");
    const std::string qv = fixture::TempDir() + "/force.qv";
    { std::FILE* f = std::fopen(qv.c_str(), "wb"); std::fputs("mine", f); std::fclose(f); }
    const auto refused = Qv({"find-loop", file, "--write", qv});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("already exists"), std::string::npos) << refused.err;
    EXPECT_EQ(fixture::ReadText(qv), "mine");

    const auto forced = Qv({"find-loop", file, "--write", qv, "--force"});
    ASSERT_EQ(forced.code, 0) << forced.err;
    const std::vector<uint8_t> written = fixture::ReadFile(qv);
    ASSERT_GT(written.size(), 204u);
    EXPECT_EQ(std::memcmp(written.data(), "OSTRAOGG", 8), 0);
    int32_t count = 0;
    std::memcpy(&count, written.data() + 16, 4);
    EXPECT_EQ(count, -1);
    // The stream goes in unchanged.
    const std::vector<uint8_t> ogg = fixture::ReadFile(file);
    EXPECT_TRUE(std::equal(ogg.begin(), ogg.end(), written.begin() + 200));
    EXPECT_EQ(written.size(), ogg.size() + 200);
}

TEST(Check, TheDemoIsSeamless)
{
    const std::string demo = fixture::BinDir() + "/demo/demo.qv";
    const auto r = Qv({"check", demo});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("entry 0:"), std::string::npos);
    EXPECT_NE(r.out.find("seamless"), std::string::npos) << r.out;
}

TEST(Check, ALoopAThousandFramesOffIsAudible)
{
    const std::vector<uint8_t> demo = fixture::ReadFile(fixture::BinDir() + "/demo/demo.qv");
    ASSERT_GT(demo.size(), 200u);
    const std::vector<uint8_t> ogg(demo.begin() + 200, demo.end());
    // The demo loops 8 s .. 24 s.
    for (int64_t shift : {-1000, 1000}) {
        const auto r = Qv({"check", Container(ogg, 44100, 8 * 44100, 24 * 44100 + shift, "off.qv")});
        EXPECT_EQ(r.code, 1) << shift << r.out;
        EXPECT_NE(r.out.find("audible"), std::string::npos) << r.out;
    }
    const std::vector<uint8_t> tonal = fixture::Encode(Piece(Kind::Tonal, kIntro, kPeriod, 2), {}, 1.0f);
    const auto start = static_cast<int64_t>(kIntro * 44100) + 5000;
    const auto good = Qv({"check", Container(tonal, 44100, start, start + kPeriod, "good.qv")});
    EXPECT_EQ(good.code, 0) << good.out;
    const auto bad = Qv({"check", Container(tonal, 44100, start, start + kPeriod + 1000, "bad.qv")});
    EXPECT_EQ(bad.code, 1) << bad.out;
}

// A loop to the piece's very end has nothing after it: what leads up to the end is compared
// with what leads up to the start.
TEST(Check, ALoopToTheLastFrameIsJudgedByWhatLeadsUpToIt)
{
    Pcm pcm = Piece(Kind::Tonal, kIntro, kPeriod, 2);
    pcm.samples.resize(pcm.samples.size() - 2 * 2 * 44100);  // without the tail after the second pass
    const auto total = static_cast<int64_t>(pcm.samples.size() / 2);
    const std::vector<uint8_t> ogg = fixture::Encode(pcm, {}, 1.0f);
    const auto good = Qv({"check", Container(ogg, 44100, total - kPeriod, total, "toend.qv")});
    EXPECT_EQ(good.code, 0) << good.out;
    EXPECT_NE(good.out.find("seamless"), std::string::npos) << good.out;
    // A start moved by a few frames or by much: the music before the end lines up with the
    // music before the start only shifted, by as much as the start was moved, and check says
    // by how much.
    for (int64_t off : {-2, 2, -1000, 1000, 15000, -22000}) {
        const auto near = Qv({"check", Container(ogg, 44100, total - kPeriod + off, total, "toend-near.qv")});
        EXPECT_EQ(near.code, 1) << off << near.out;
        EXPECT_NE(near.out.find(off < 0 ? "the end is late" : "the end is early"), std::string::npos) << near.out;
        const auto at = near.out.find("off by ");
        ASSERT_NE(at, std::string::npos) << near.out;
        long frames = -1;
        std::sscanf(near.out.c_str() + at, "off by %ld", &frames);
        EXPECT_NEAR(frames, std::llabs(off), 1) << near.out;
    }
}

// A tonal intro, then a section once whose last notes ring on into its own start: a loop made to
// end with its file, the music going on from its end into its start.
Pcm EndLoopPiece(Kind kind, double introSeconds, int64_t frames)
{
    Pcm pcm;
    pcm.samples = Section(Kind::Tonal, static_cast<int64_t>(introSeconds * 44100), 44100, 99);
    std::vector<float> body = Section(kind, frames + 44100, 44100, 7);
    for (size_t i = 0; i < 44100 * 2; ++i)
        body[i] += body[static_cast<size_t>(frames) * 2 + i];
    body.resize(static_cast<size_t>(frames) * 2);
    pcm.samples.insert(pcm.samples.end(), body.begin(), body.end());
    return pcm;
}

// A piece stored as games store their loops: an intro, then the loop once, the file ending where
// the loop ends, with nothing in the file repeating. The exact join continues the music; a start
// moved is heard, and the shift that mends it is said.
TEST(Check, ALoopThatEndsWithTheFileIsJudgedByHowItGoesOn)
{
    struct Row {
        Kind kind;
        int64_t move;  // frames the start is moved
        int code;
    } rows[] = {
        {Kind::Tonal, 0, 0},      {Kind::Percussive, 0, 0},      {Kind::Tonal, 20, 1},
        {Kind::Tonal, 100, 1},    {Kind::Tonal, -441, 1},        {Kind::Percussive, -1000, 1},
        {Kind::Tonal, 441, 1},    {Kind::Percussive, 441, 1},    {Kind::Percussive, 20, 1},
    };
    for (const Row& r : rows) {
        const std::vector<uint8_t> ogg = fixture::Encode(EndLoopPiece(r.kind, kIntro, kPeriod), {}, 0.4f);
        const auto intro = static_cast<int64_t>(kIntro * 44100);
        const auto k = Qv({"check", Container(ogg, 44100, intro + r.move, intro + kPeriod, "atend.qv")});
        const std::string what = std::to_string(static_cast<int>(r.kind)) + " moved " + std::to_string(r.move);
        EXPECT_EQ(k.code, r.code) << what << "\n" << k.out << k.err;
        EXPECT_NE(k.out.find("ends at the file's end"), std::string::npos) << what << "\n" << k.out;
    }
}

// The same layout given to find-loop, the intro ending as the section ends (a last bar that
// leads into the section both times): a loop offered runs to the file's end, the section long.
TEST(FindLoopToTheEnd, FindsTheStartThatLeadsInAsTheEndDoes)
{
    for (Kind kind : {Kind::Tonal, Kind::Percussive}) {
        Pcm pcm = EndLoopPiece(kind, kIntro, kPeriod);
        const auto intro = static_cast<int64_t>(kIntro * 44100);
        const int64_t lead = 44100 * 3 / 2;
        const std::vector<float> last(pcm.samples.end() - lead * 2, pcm.samples.end());
        pcm.samples.insert(pcm.samples.begin() + intro * 2, last.begin(), last.end());
        const std::string file = fixture::WriteTemp(fixture::Encode(pcm, {}, 0.4f), "toend.ogg");
        const auto r = Qv({"find-loop", file, "--top", "3"});
        ASSERT_EQ(r.code, 0) << r.out << r.err;
        const std::vector<Row> rows = Rows(r.out);
        const bool found = std::any_of(rows.begin(), rows.end(), [&](const Row& row) {
            return std::llabs(row.startFrame - (intro + lead)) <= 2 && row.endFrame == intro + lead + kPeriod;
        });
        EXPECT_TRUE(found) << static_cast<int>(kind) << "\n" << r.out;
        EXPECT_NE(r.out.find("to the end of the file"), std::string::npos) << r.out;
    }
}

// Nothing seamless: find-loop still says where its best candidates were and how they score.
TEST(FindLoopRefusal, SaysWhereTheBestCandidateWas)
{
    Pcm pcm;
    pcm.samples = Section(Kind::Percussive, 12 * 44100, 44100, 5);
    const auto r = Qv({"find-loop", Write(pcm, "nothing.ogg")});
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("the best is frames "), std::string::npos) << r.out;
}

// Loops on pieces with a known repeat, and on music that only seems to repeat at the join. Each
// row: the piece, the loop's frames, the exit status and a word check must print.
TEST(Check, JudgesTheMusicAfterTheJoin)
{
    const int rate = 44100;
    auto section = [&](uint32_t seed) { return Section(Kind::Tonal, 3 * rate, rate, seed); };
    // A pause some -80 dB below full scale: click-free wherever a join falls in it.
    const std::vector<float> pause = [&] {
        std::vector<float> p = Section(Kind::Noisy, 2 * rate, rate, 5);
        for (float& v : p)
            v *= 3e-4f;
        return p;
    }();
    auto join = [](std::initializer_list<const std::vector<float>*> parts) {
        Pcm pcm;
        for (const auto* part : parts)
            pcm.samples.insert(pcm.samples.end(), part->begin(), part->end());
        return fixture::Encode(pcm, {}, 0.4f);
    };
    const std::vector<float> a = section(11), b = section(12), c = section(13);
    // Passages with the same pause between them, then the same piece repeating A + pause.
    const std::vector<uint8_t> differing = join({&a, &pause, &b, &pause, &c, &pause});
    const std::vector<uint8_t> repeating = join({&a, &pause, &a, &pause, &a, &pause});
    const std::vector<uint8_t> tonal = fixture::Encode(Piece(Kind::Tonal, kIntro, kPeriod, 2), {}, 0.4f);
    const int64_t period = 5 * rate;            // a passage and its pause
    const int64_t inPause = 3 * rate + rate;     // the middle of the first pause
    const auto start = static_cast<int64_t>(kIntro * 44100) + 5000;
    struct Row {
        const char* name;
        const std::vector<uint8_t>* ogg;
        int64_t start, end;
        int code;
        const char* says;
    } rows[] = {
        {"exact", &tonal, start, start + kPeriod, 0, "seamless"},
        {"two frames late", &tonal, start, start + kPeriod + 2, 1, "the end is late"},
        {"two frames early", &tonal, start, start + kPeriod - 2, 1, "the end is early"},
        {"a thousand frames late", &tonal, start, start + kPeriod + 1000, 1, "off by 1000 frames: the end is late"},
        {"a fifth of a second early", &tonal, start, start + kPeriod - 8820, 1, "off by 8820 frames: the end is early"},
        {"no length", &tonal, start, start, 1, "broken: never jumps (the loop has no length)"},
        {"start after end", &tonal, start + kPeriod, start, 1, "broken: never jumps (its start is after its end)"},
        {"pause to pause, other music after", &differing, inPause, inPause + period, 1, "audible"},
        {"pause to pause, same music after", &repeating, inPause, inPause + period, 0, "seamless"},
    };
    for (const Row& r : rows) {
        const auto k = Qv({"check", Container(*r.ogg, rate, r.start, r.end, "judge.qv")});
        EXPECT_EQ(k.code, r.code) << r.name << "\n" << k.out << k.err;
        EXPECT_NE(k.out.find(r.says), std::string::npos) << r.name << "\n" << k.out;
    }
}

// A section played three times repeats every period and every two: the period comes first.
TEST(FindLoopRanking, ThePeriodComesBeforeItsMultiples)
{
    const std::string file = Write(Piece(Kind::Percussive, kIntro, kPeriod, 3), "three.ogg", 0.4f);
    const auto r = Qv({"find-loop", file, "--top", "3"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const std::vector<Row> rows = Rows(r.out);
    ASSERT_FALSE(rows.empty()) << r.out;
    EXPECT_NEAR(rows[0].frames, kPeriod, 2) << r.out;
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_GT(rows[i].frames, rows[0].frames + 2) << r.out;
}

TEST(Check, EntriesThatCannotBeJudgedOrNeverJump)
{
    const std::vector<uint8_t> ogg = fixture::Encode(fixture::Sine(2.0), {}, 0.0f);
    auto container = [&](const std::vector<fixture::LoopEntry>& loops, const std::string& name) {
        std::vector<uint8_t> bytes = fixture::ContainerHeader(loops);
        bytes.insert(bytes.end(), ogg.begin(), ogg.end());
        return fixture::WriteTemp(bytes, name);
    };
    const auto none = Qv({"check", container({{0.5f, 1.0f, 0}, {0.2f, 0.4f, -2}}, "inactive.qv")});
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("no active loop entry"), std::string::npos) << none.err;
    const auto never = Qv({"check", container({{0.5f, 9.0f, -1}}, "never.qv")});
    EXPECT_EQ(never.code, 1);
    EXPECT_NE(never.out.find("never jumps"), std::string::npos) << never.out;
    const auto plain = Qv({"check", fixture::WriteTemp(ogg, "plain.ogg")});
    EXPECT_EQ(plain.code, 1);
    EXPECT_NE(plain.err.find("a plain Ogg Vorbis file without loop tags"), std::string::npos) << plain.err;
}

TEST(BadInput, ClearMessagesForFilesThatAreNotPieces)
{
    const std::string empty = fixture::MakeFile("empty.ogg", "");
    const std::string text = fixture::MakeFile("text.ogg", "just some words, not a sound file at all");
    const std::string missing = fixture::TempDir() + "/missing.ogg";
    for (const char* command : {"check", "find-loop"}) {
        const auto e = Qv({command, empty});
        EXPECT_EQ(e.code, 1);
        EXPECT_NE(e.err.find("empty"), std::string::npos) << e.err;
        const auto t = Qv({command, text});
        EXPECT_EQ(t.code, 1);
        EXPECT_NE(t.err.find("not an Ogg Vorbis file"), std::string::npos) << t.err;
        const auto m = Qv({command, missing});
        EXPECT_EQ(m.code, 1);
        EXPECT_NE(m.err.find("no such file"), std::string::npos) << m.err;
    }
    EXPECT_EQ(Qv({"find-loop", empty, "--top", "0"}).code, 2);
    EXPECT_EQ(Qv({"find-loop", empty, "--min", "x"}).code, 2);
    EXPECT_EQ(Qv({"check"}).code, 2);
}

}
