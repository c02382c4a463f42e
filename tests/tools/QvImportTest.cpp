// qvtool import, export and info, run as processes on files made at test time with loop tags as
// other tools write them; the containers made are played through qvtool render.
#include "OggFixture.h"
#include "RunProgram.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Result = fixture::RunResult;
const auto Qv = fixture::RunQvtool;

// The samples of a WAV file qvtool render wrote (16-bit stereo at 44100 Hz, a 44-byte header).
std::vector<int16_t> Rendered(const std::string& path)
{
    const auto b = fixture::ReadFile(path);
    std::vector<int16_t> s(b.size() > 44 ? (b.size() - 44) / 2 : 0);
    if (!s.empty())
        std::memcpy(s.data(), b.data() + 44, s.size() * 2);
    return s;
}

// Entry k of a container: start, end, count.
struct Entry {
    float start;
    float end;
    int32_t count;
};
Entry EntryOf(const std::vector<uint8_t>& file, int k)
{
    Entry e{};
    if (file.size() >= 200) {
        std::memcpy(&e.start, file.data() + 8 + 12 * k, 4);
        std::memcpy(&e.end, file.data() + 12 + 12 * k, 4);
        std::memcpy(&e.count, file.data() + 16 + 12 * k, 4);
    }
    return e;
}

void Save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string Lines(const Result& r)
{
    return "stdout:\n" + r.out + "stderr:\n" + r.err;
}

// A 44100 Hz piece tagged the way game engines tag loops: the container made from it renders
// its first frames as the source, jumps at exactly the tagged end to exactly the tagged start,
// and goes on so, pass after pass, whatever frame a block happens to start at.
TEST(QvImport, TaggedLoopRendersWithTheJumpAtTheTaggedFrame)
{
    constexpr int64_t kStart = 33333;
    constexpr int64_t kEnd = 177777;
    const std::string dir = fixture::FreshDir("import-44k");
    const auto bytes = fixture::Encode(fixture::Noise(6.0), {"TITLE=noise", "LOOPSTART=33333", "LOOPLENGTH=144444"}, 0.1f);
    const std::string ogg = dir + "noise.ogg";
    Save(ogg, bytes);

    Result r = Qv({"import", ogg});
    ASSERT_EQ(r.code, 0) << Lines(r);
    EXPECT_NE(r.out.find("loop from frame 33333 ("), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\nconverted 1, skipped 0, failed 0\n"), std::string::npos) << r.out;
    const std::string qv = dir + "noise.qv";
    const auto made = fixture::ReadFile(qv);
    // The Ogg stream is kept byte for byte behind the header.
    ASSERT_EQ(made.size(), bytes.size() + 200);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), made.begin() + 200));
    EXPECT_EQ(EntryOf(made, 0).count, -1);
    EXPECT_EQ(EntryOf(made, 1).count, 0);

    Result info = Qv({"info", qv});
    EXPECT_NE(info.out.find("\nloop 0 frames: 33333 177777\n"), std::string::npos) << info.out;

    ASSERT_EQ(Qv({"render", qv, dir + "out.wav", "--seconds", "12"}).code, 0);
    const auto out = Rendered(dir + "out.wav");
    const auto ref = fixture::ReferenceDecode(bytes);
    ASSERT_EQ(out.size(), 12u * 44100 * 2);
    int64_t wrong = 0;
    int64_t firstWrong = -1;
    for (int64_t k = 0; k < 12 * 44100; ++k) {
        // Output frame k plays source frame k up to the end, then the loop round and round.
        const int64_t source = k < kEnd ? k : kStart + (k - kEnd) % (kEnd - kStart);
        for (int c = 0; c < 2; ++c)
            if (out[2 * k + c] != ref.samples[2 * source + c]) {
                wrong += 1;
                if (firstWrong < 0)
                    firstWrong = k;
            }
    }
    EXPECT_EQ(wrong, 0) << "first wrong output frame " << firstWrong;
}

// A plain tagged file plays, untouched, as the container import makes of it: the same samples
// pass after pass, whatever the spelling of its tags and at any rate; info names the tags the
// loop came from. Tags that disagree are refused by import and the file plays straight through.
TEST(QvImport, ATaggedFilePlaysAsItsContainer)
{
    const std::string dir = fixture::FreshDir("import-played");
    struct Case {
        std::string name;
        std::vector<std::string> tags;
        int rate;
        int64_t start, end;
    };
    for (const auto& c : std::vector<Case>{
             {"upper", {"LOOPSTART=33333", "LOOPLENGTH=44444"}, 44100, 33333, 77777},
             {"lower", {"loopstart=20001", "looplength=50000"}, 44100, 20001, 70001},
             {"mixed", {"LoopStart=12345", "LOOP_END=99999"}, 44100, 12345, 99999},
             {"rate48k", {"LOOP_START=48000", "LoopLength=48017"}, 48000, 48000, 96017},
             {"hyphens", {"LOOP-START=22222", "LOOP-LENGTH=66666"}, 44100, 22222, 88888},
             {"times", {"LOOPSTART=0:00.5", "LOOPEND=00:00:01.75"}, 44100, 22050, 77175},
             {"times48k", {"LOOPMS=250", "LOOP_END=2.0001"}, 48000, 12000, 96005},
             // Half a second past the last frame: it loops at the last frame.
             {"clamped", {"XIPH_CUE_LOOPSTART=44100", "XIPH_CUE_LOOPEND=154350"}, 44100, 44100, 132300},
         }) {
        const std::string ogg = dir + c.name + ".ogg";
        const auto bytes = fixture::Encode(fixture::Noise(3.0, 2, c.rate), c.tags, 0.1f);
        Save(ogg, bytes);
        ASSERT_EQ(Qv({"import", ogg}).code, 0) << c.name;
        const std::string qv = dir + c.name + ".qv";
        const Result info = Qv({"info", ogg});
        const std::string frames = std::to_string(c.start) + " " + std::to_string(c.end);
        EXPECT_NE(info.out.find("\nloop 0 frames: " + frames + "\n"), std::string::npos) << c.name << info.out;
        EXPECT_NE(info.out.find("\nloop tags: " + c.tags[0].substr(0, c.tags[0].find('=')) + "/"), std::string::npos)
            << c.name << info.out;
        EXPECT_NE(info.out.find("\nloop tags read: " + c.tags[0] + " ("), std::string::npos) << c.name << info.out;
        EXPECT_EQ(info.out.find("\nloop tags warning: " + c.tags[1] + ": the loop end (frame 154350) lies 22050 frames "
                                "past the last frame of the stream (132300 frames)") == std::string::npos,
                  c.name != "clamped")
            << c.name << info.out;
        // The same entry as the container's: the times import writes, endless.
        const size_t at = info.out.find("\nloop 0: ");
        const std::string entry = info.out.substr(at, info.out.find("\nloop 0 frames") - at);
        EXPECT_NE(Qv({"info", qv}).out.find(entry), std::string::npos) << c.name << entry;
        ASSERT_EQ(Qv({"render", ogg, dir + c.name + "-ogg.wav", "--seconds", "8"}).code, 0);
        ASSERT_EQ(Qv({"render", qv, dir + c.name + "-qv.wav", "--seconds", "8"}).code, 0);
        const auto played = Rendered(dir + c.name + "-ogg.wav");
        ASSERT_EQ(played.size(), 8u * 44100 * 2) << c.name;
        EXPECT_TRUE(played == Rendered(dir + c.name + "-qv.wav")) << c.name;
        if (c.rate != 44100)
            continue;
        // At the output rate: output frame k plays source frame k up to the end, then the loop.
        const auto ref = fixture::ReferenceDecode(bytes);
        int64_t firstWrong = -1;
        for (int64_t k = 0; k < 8 * 44100 && firstWrong < 0; ++k) {
            const int64_t source = k < c.end ? k : c.start + (k - c.end) % (c.end - c.start);
            for (int ch = 0; ch < 2; ++ch)
                if (played[2 * k + ch] != ref.samples[2 * source + ch])
                    firstWrong = k;
        }
        EXPECT_EQ(firstWrong, -1) << c.name;
    }

    const auto conflicting = fixture::Encode(fixture::Noise(1.0), {"LOOPSTART=100", "LOOPLENGTH=50", "LOOPEND=170"}, 0.1f);
    Save(dir + "conflict.ogg", conflicting);
    const Result r = Qv({"import", dir + "conflict.ogg"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("conflict.ogg: LOOPEND=170, LOOPLENGTH=50: the tags give different loop ends (170, 150)"),
              std::string::npos) << Lines(r);
    EXPECT_FALSE(fs::exists(dir + "conflict.qv"));
    EXPECT_NE(Qv({"info", dir + "conflict.ogg"}).out.find("loop tags: refused: "), std::string::npos);
    ASSERT_EQ(Qv({"render", dir + "conflict.ogg", dir + "conflict.wav", "--seconds", "2"}).code, 0);
    const auto straight = Rendered(dir + "conflict.wav");
    const auto ref = fixture::ReferenceDecode(conflicting);
    ASSERT_GE(straight.size(), ref.samples.size());
    for (size_t i = 0; i < straight.size(); ++i)
        ASSERT_EQ(straight[i], i < ref.samples.size() ? ref.samples[i] : 0) << i;
}

// A 48000 Hz piece plays through the rate converter; its loop points are its own frames. The
// piece is a tone up to the loop end and silence after it, so output that ever falls silent has
// played past the loop.
TEST(QvImport, A48kHzPieceLoopsThroughTheConverter)
{
    const std::string dir = fixture::FreshDir("import-48k");
    fixture::Pcm pcm = fixture::Sine(5.0, {440.0, 660.0}, 2, 48000);
    constexpr int64_t kEnd = 3 * 48000 + 17;
    std::fill(pcm.samples.begin() + kEnd * 2, pcm.samples.end(), 0.0f);
    const auto bytes = fixture::Encode(pcm, {"LOOP_BEGIN=48000", "LOOP_END=144017"}, 0.1f);
    Save(dir + "tone.ogg", bytes);

    Result r = Qv({"import", dir + "tone.ogg", "--count", "3"});
    ASSERT_EQ(r.code, 0) << Lines(r);
    const auto made = fixture::ReadFile(dir + "tone.qv");
    EXPECT_EQ(EntryOf(made, 0).count, 3);
    // Seconds at the piece's own rate.
    EXPECT_NEAR(EntryOf(made, 0).start, 1.0, 1.0 / 48000);
    EXPECT_NEAR(EntryOf(made, 0).end, 144017.0 / 48000, 1.0 / 48000);
    Result info = Qv({"info", dir + "tone.qv"});
    EXPECT_NE(info.out.find("rate: 48000\n"), std::string::npos);
    EXPECT_NE(info.out.find("\nloop 0 frames: 48000 144017\n"), std::string::npos) << info.out;

    // Three jumps: the tone sounds for 3 + 3 * 2 seconds, then the silence after the loop.
    ASSERT_EQ(Qv({"render", dir + "tone.qv", dir + "out.wav", "--seconds", "11"}).code, 0);
    const auto out = Rendered(dir + "out.wav");
    ASSERT_EQ(out.size(), 11u * 44100 * 2);
    auto level = [&](int64_t from) {
        double sum = 0;
        for (int64_t i = from * 2; i < (from + 441) * 2; ++i)
            sum += static_cast<double>(out[i]) * out[i];
        return std::sqrt(sum / 882);
    };
    const double expectedEnd = (3.0 + 3 * 2.0) * 44100;
    for (int64_t at = 441; at + 441 < static_cast<int64_t>(out.size() / 2); at += 441) {
        if (at + 441 < expectedEnd - 441) {
            EXPECT_GT(level(at), 3000.0) << "silent at " << at / 44100.0 << " s";
        } else if (at > expectedEnd + 441) {
            EXPECT_LT(level(at), 50.0) << "sounding at " << at / 44100.0 << " s";
        }
    }
}

// Every file in the directory goes wrong its own way: each is named with what is wrong, nothing
// is written, and the counts and the status say so.
TEST(QvImport, BadInputGetsAClearMessageEach)
{
    const std::string dir = fixture::FreshDir("import-bad");
    const auto tone = fixture::Sine(1.0, {300.0}, 1);
    auto put = [&](const std::string& name, const std::vector<uint8_t>& bytes) { Save(dir + name, bytes); };
    put("letters.ogg", fixture::Encode(tone, {"LOOPSTART=abc", "LOOPLENGTH=10"}, 0.1f));
    put("huge.ogg", fixture::Encode(tone, {"LOOP_START=1", "LOOP_END=123456789012345678901234567890"}, 0.1f));
    put("backwards.OGG", fixture::Encode(tone, {"LoopStart=30000", "LoopEnd=20000"}, 0.1f));
    put("beyond.oga", fixture::Encode(tone, {"LOOPSTART=44100"}, 0.1f));
    put("empty.ogg", {});
    put("text.ogg", std::vector<uint8_t>(300, 'x'));
    put("untagged.ogg", fixture::Encode(tone, {"TITLE=plain"}, 0.1f));
    put("notes.txt", {'h', 'i'});

    Result r = Qv({"import", dir});
    EXPECT_EQ(r.code, 1);
    for (const char* message : {
             "letters.ogg: LOOPSTART=abc: not a frame number",
             "huge.ogg: LOOP_END=123456789012345678901234567890: too large a frame number",
             "backwards.OGG: LoopStart=30000, LoopEnd=20000: the loop start (30000) is not before its end (20000)",
             "beyond.oga: LOOPSTART=44100: the loop start (44100) is not before its end (44100)",
             "empty.ogg: empty file, not Ogg Vorbis",
             "text.ogg: not an Ogg Vorbis file",
         })
        EXPECT_NE(r.err.find(message), std::string::npos) << message << "\n" << Lines(r);
    EXPECT_NE(r.out.find("untagged.ogg: no loop tags, skipped\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("notes.txt"), std::string::npos);
    EXPECT_TRUE(r.out.ends_with("converted 0, skipped 1, failed 6\n")) << r.out;
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_NE(entry.path().extension(), ".qv") << entry.path();

    // Only skipped files: nothing converted is a failure too.
    EXPECT_EQ(Qv({"import", dir + "untagged.ogg"}).code, 1);
    // A directory without Ogg files, and a name that is not there.
    const std::string none = fixture::FreshDir("import-none");
    fs::create_directories(none + "sub");
    r = Qv({"import", none, none + "missing.ogg", "/dev/null"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("/dev/null: not a regular file"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("no Ogg files (.ogg, .oga) in this directory"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing.ogg: no such file or directory"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.ends_with("converted 0, skipped 0, failed 3\n")) << r.out;
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"import"}, {"import", dir, "--count", "0"}, {"import", dir, "--count", "-2"}, {"import", dir, "--out"},
             {"import", dir, "--frobnicate"}})
        EXPECT_EQ(Qv(args).code, 2) << args.back();
}

// Directories are walked to any depth; with --out the files found keep their places below it.
// A start alone loops to the last frame, an end past it is refused, and nothing on disk is
// replaced unless --force says so.
TEST(QvImport, DirectoriesOutputDirectoryAndExistingFiles)
{
    const std::string dir = fixture::FreshDir("import-tree");
    const std::string out = fixture::FreshDir("import-tree-out");
    fs::create_directories(dir + "a/b");
    const auto tone = fixture::Sine(1.0);
    const auto open = fixture::Encode(tone, {"LOOPSTART=1000"}, 0.1f);
    const auto past = fixture::Encode(tone, {"LOOPDEFS=10,99999"}, 0.1f);
    Save(dir + "a/b/open.ogg", open);
    Save(dir + "a/past.ogg", past);
    const int64_t frames = fixture::ReferenceDecode(open).Frames();

    fs::create_directories(out + "b");
    Save(out + "b/open.qv", {'k', 'e', 'e', 'p'});
    // A container already there is passed over, not a failure; a loop end more than a second past
    // the last frame is.
    Result r = Qv({"import", dir + "a", "--out", out});
    EXPECT_EQ(r.code, 1) << Lines(r);
    EXPECT_NE(r.out.find("open.qv already exists, skipped (--force replaces it)"), std::string::npos) << r.out;
    EXPECT_EQ(fixture::ReadText(out + "b/open.qv"), "keep");
    EXPECT_NE(r.err.find("past.ogg: LOOPDEFS=10,99999: the loop end (frame 99999) lies 55899 frames past the last "
                         "frame of the stream (44100 frames), more than a second"),
              std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(out + "past.qv"));
    EXPECT_TRUE(r.out.ends_with("converted 0, skipped 1, failed 1\n")) << r.out;

    r = Qv({"import", dir + "a/b", "--out", out + "b", "--force"});
    EXPECT_EQ(r.code, 0) << Lines(r);
    EXPECT_NE(Qv({"info", out + "b/open.qv"}).out.find("loop 0 frames: 1000 " + std::to_string(frames) + "\n"),
              std::string::npos);
    // Beside the input without --out; the same file twice in one run is not written twice.
    r = Qv({"import", dir + "a/b/open.ogg", dir + "a/b/open.ogg"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(fs::exists(dir + "a/b/open.qv"));
    EXPECT_NE(r.err.find("was written earlier in this run"), std::string::npos) << r.err;
}

}

namespace {

// The pages of an Ogg stream: sequence number, granule position, body.
struct Page {
    uint32_t sequence;
    int64_t granule;
    std::vector<uint8_t> body;
};
std::vector<Page> Pages(const std::vector<uint8_t>& b)
{
    std::vector<Page> pages;
    for (size_t at = 0; at + 27 <= b.size() && std::memcmp(b.data() + at, "OggS", 4) == 0;) {
        const size_t head = 27 + b[at + 26];
        size_t body = 0;
        for (size_t i = 0; i < b[at + 26]; ++i)
            body += b[at + 27 + i];
        Page p{};
        std::memcpy(&p.sequence, b.data() + at + 18, 4);
        std::memcpy(&p.granule, b.data() + at + 6, 8);
        p.body.assign(b.begin() + static_cast<long>(at + head), b.begin() + static_cast<long>(at + head + body));
        pages.push_back(std::move(p));
        at += head + body;
    }
    return pages;
}

bool Installed(const char* program)
{
    return std::system(("command -v " + std::string(program) + " >/dev/null 2>&1").c_str()) == 0;
}

// A container's loop goes out as LOOPSTART/LOOPLENGTH in place of the loop tags the stream had,
// the other comments stay, the sound is the same sample for sample to the stock decoder, and
// importing the result gives the same frames back. The big loop tag dropped here shortens the
// headers by pages, so every audio page is numbered anew.
TEST(QvExport, TagsTheLoopAndKeepsEverySample)
{
    if (!Installed("oggdec") || !Installed("vorbiscomment") || !Installed("ogginfo"))
        GTEST_SKIP() << "vorbis-tools is not installed";
    const std::string dir = fixture::FreshDir("export");
    const auto bytes = fixture::Encode(
        fixture::Noise(3.0), {"TITLE=keep me", "LOOP_START=5", "ARTIST=a=b", "lp=" + std::string(150000, '1')}, 0.1f);
    const std::string ogg = dir + "in.ogg";
    Save(ogg, bytes);
    ASSERT_EQ(Qv({"make", ogg, dir + "in.qv", "--loop", "0.5:2.25:-1"}).code, 0);

    Result r = Qv({"export", dir + "in.qv", dir + "out.ogg"});
    ASSERT_EQ(r.code, 0) << Lines(r);
    Result tags = fixture::RunProgram("vorbiscomment", {"-l", dir + "out.ogg"});
    EXPECT_EQ(tags.out, "TITLE=keep me\nARTIST=a=b\nLOOPSTART=22050\nLOOPLENGTH=77175\n");

    ASSERT_EQ(fixture::RunProgram("oggdec", {"-Q", "-o", dir + "in.wav", ogg}).code, 0);
    ASSERT_EQ(fixture::RunProgram("oggdec", {"-Q", "-o", dir + "out.wav", dir + "out.ogg"}).code, 0);
    EXPECT_TRUE(fixture::ReadFile(dir + "in.wav") == fixture::ReadFile(dir + "out.wav"));
    Result check = fixture::RunProgram("ogginfo", {dir + "out.ogg"});
    EXPECT_EQ(check.code, 0) << check.out;
    EXPECT_EQ(check.out.find("WARNING"), std::string::npos) << check.out;

    const auto before = Pages(bytes);
    const auto after = Pages(fixture::ReadFile(dir + "out.ogg"));
    const size_t shorter = before.size() - after.size();
    ASSERT_GT(shorter, 0u);
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i].sequence, i);
    for (size_t i = 2; i < after.size(); ++i) {
        EXPECT_EQ(after[i].granule, before[i + shorter].granule) << i;
        EXPECT_TRUE(after[i].body == before[i + shorter].body) << i;
    }

    r = Qv({"import", dir + "out.ogg"});
    ASSERT_EQ(r.code, 0) << Lines(r);
    EXPECT_NE(Qv({"info", dir + "out.qv"}).out.find("\nloop 0 frames: 22050 99225\n"), std::string::npos);
}

TEST(QvExport, RefusesWhatItCannotWrite)
{
    const std::string dir = fixture::FreshDir("export-bad");
    const std::string qv = fixture::MakeQv("export-bad.qv", 1.0, 0.25f, 0.75f, -1);
    Save(dir + "there.ogg", {'k', 'e', 'e', 'p'});
    Result r = Qv({"export", qv, dir + "there.ogg"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("there.ogg: already exists (--force replaces it)"), std::string::npos) << r.err;
    EXPECT_EQ(fixture::ReadText(dir + "there.ogg"), "keep");
    EXPECT_EQ(Qv({"export", qv, dir + "there.ogg", "--force"}).code, 0);
    EXPECT_EQ(fixture::ReferenceDecode(dir + "there.ogg").Frames(), 44100);

    r = Qv({"export", qv, dir + "x.ogg", "--entry", "3"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("entry 3 holds no loop"), std::string::npos) << r.err;
    const std::string backwards = fixture::MakeQv("export-back.qv", 1.0, 0.75f, 0.25f, -1);
    r = Qv({"export", backwards, dir + "x.ogg"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is no loop within the piece"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir + "x.ogg"));
    for (const auto& entry : {"16", "-1", "x", ""})
        EXPECT_EQ(Qv({"export", qv, dir + "x.ogg", "--entry", entry}).code, 2) << entry;
}

// make takes frames (a trailing f) as well as seconds; export writes a loop in the tags each family
// of players reads, says what tags cannot carry (a finite count, the other entries) and writes it
// all the same; the tags it writes read back to the same frames.
TEST(QvExport, TagFormsForOtherPlayersAndLoopsInFrames)
{
    const std::string dir = fixture::FreshDir("export-forms");
    const std::string ogg = dir + "in.ogg";
    Save(ogg, fixture::Encode(fixture::Noise(3.0), {"TITLE=t", "LOOPMS=9"}, 0.1f));
    Result r = Qv({"make", ogg, dir + "in.qv", "--loop", "22050f:99225f:3", "--loop", "0.25:132300f:-1"});
    ASSERT_EQ(r.code, 0) << Lines(r);
    const std::string info = Qv({"info", dir + "in.qv"}).out;
    EXPECT_NE(info.find("\nloop 0 frames: 22050 99225\n"), std::string::npos) << info;
    EXPECT_NE(info.find("\nloop 1 frames: 11025 132300\n"), std::string::npos) << info;
    for (const char* bad : {"1.5f:2:-1", "f:2:-1", "-5f:2:-1", "10:20ff:-1", "10F:20:-1"})
        EXPECT_EQ(Qv({"make", ogg, dir + "x.qv", "--loop", bad}).code, 2) << bad;
    r = Qv({"make", ogg, dir + "x.qv", "--loop", "0f:132301f:-1", "--loop", "132300f:0.5:1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("entry 0: the end frame 132301 lies outside the piece (132300 frames)"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("entry 1: the start frame 132300 lies outside"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir + "x.qv"));

    const std::string rpg = "comment: LOOPSTART=22050\ncomment: LOOPLENGTH=77175\n";
    for (const auto& [form, tags] : std::vector<std::pair<std::string, std::string>>{
             {"", rpg}, {"sdl", rpg}, {"vgmstream", rpg}, {"zmusic", "comment: LOOP_START=22050\ncomment: LOOP_END=99225\n"}}) {
        const std::string out = dir + "out-" + form + ".ogg";
        std::vector<std::string> args{"export", dir + "in.qv", out};
        if (!form.empty())
            args.insert(args.end(), {"--tags", form});
        r = Qv(args);
        ASSERT_EQ(r.code, 0) << form << Lines(r);
        EXPECT_NE(r.err.find("in.qv: entry 0 loops 3 times in the container; loop tags carry no count"),
                  std::string::npos) << form << r.err;
        EXPECT_NE(r.err.find("in.qv: entry 1 is left out: loop tags carry one loop"), std::string::npos) << r.err;
        // The file's own loop tag goes; the other comments stay, the new tags follow them.
        const std::string back = Qv({"info", out}).out;
        EXPECT_NE(back.find("\ncomment: TITLE=t\n" + tags), std::string::npos) << form << back;
        EXPECT_NE(back.find("\nloop 0 frames: 22050 99225\n"), std::string::npos) << form << back;
    }
    EXPECT_EQ(Qv({"export", dir + "in.qv", dir + "x.ogg", "--tags", "ogg"}).code, 2);
    EXPECT_EQ(Qv({"export", dir + "in.qv", dir + "x.ogg", "--tags"}).code, 2);
}

}
