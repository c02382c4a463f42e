// qvtool never destroys a file and says why it fails: every command that writes, run as a process
// against an output that exists, an output that is its own input, and a disk that is full; and
// the messages of failing command lines, each naming the file and the reason.
#include "LoopPiece.h"
#include "OggFixture.h"
#include "RunProgram.h"
#include "TOggPage.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

extern char** environ;

namespace {

using Result = fixture::RunResult;
const auto Qv = fixture::RunQvtool;

void Save(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// One input every writing command takes: a container (entry 0 for export) whose Ogg stream
// repeats a 3 s section (for find-loop) and carries loop tags (for import), larger than the
// small disk below.
std::string Input()
{
    static const std::string path = [] {
        const std::string dir = fixture::FreshDir("safe-input");
        const auto pcm = fixture::Piece(fixture::Kind::Tonal, 0.5, 3 * 44100, 2);
        auto bytes = fixture::ContainerHeader({{1.0f, 3.0f, -1}});
        const auto ogg = fixture::Encode(pcm, {"LOOPSTART=22050", "LOOPLENGTH=132300"}, 1.0f);
        bytes.insert(bytes.end(), ogg.begin(), ogg.end());
        Save(dir + "piece.qv", bytes);
        return dir + "piece.qv";
    }();
    return path;
}

struct Command {
    const char* name;
    // The command line writing `out` from `in`. import names its output itself: in's name with
    // ".qv", in out's directory.
    std::function<std::vector<std::string>(const std::string& in, const std::string& out)> args;
    const char* magic;  // how a whole output starts
};

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands{
        {"make", [](auto& in, auto& out) { return std::vector<std::string>{"make", in, out, "--loop", "1:2:-1"}; },
         "OSTRAOGG"},
        {"render", [](auto& in, auto& out) { return std::vector<std::string>{"render", in, out, "--seconds", "2"}; },
         "RIFF"},
        {"export", [](auto& in, auto& out) { return std::vector<std::string>{"export", in, out}; }, "OggS"},
        {"find-loop", [](auto& in, auto& out) { return std::vector<std::string>{"find-loop", in, "--write", out}; },
         "OSTRAOGG"},
        {"import",
         [](auto& in, auto& out) {
             return std::vector<std::string>{"import", in, "--out", fs::path(out).parent_path().string()};
         },
         "OSTRAOGG"},
    };
    return commands;
}

std::vector<std::string> With(std::vector<std::string> args, const std::string& more)
{
    args.push_back(more);
    return args;
}

std::string Shown(const Result& r)
{
    return "exit " + std::to_string(r.code) + "\nstdout:\n" + r.out + "stderr:\n" + r.err;
}

TEST(QvSafe, AnExistingOutputIsReplacedOnlyWithForce)
{
    for (const Command& c : Commands()) {
        SCOPED_TRACE(c.name);
        const std::string dir = fixture::FreshDir(std::string("safe-exists-") + c.name);
        const std::string out = dir + "piece.qv";
        Save(out, {'k', 'e', 'e', 'p'});
        Result r = Qv(c.args(Input(), out));
        EXPECT_EQ(r.code, 1) << Shown(r);
        EXPECT_NE((r.out + r.err).find("already exists"), std::string::npos) << Shown(r);
        EXPECT_NE((r.out + r.err).find("--force"), std::string::npos) << Shown(r);
        EXPECT_EQ(fixture::ReadText(out), "keep");

        r = Qv(With(c.args(Input(), out), "--force"));
        EXPECT_EQ(r.code, 0) << Shown(r);
        EXPECT_TRUE(fixture::ReadText(out).starts_with(c.magic));
        // Nothing but the output in the directory: no temporary file left.
        EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
    }
}

TEST(QvSafe, NoCommandWritesOverItsInputEvenWithForce)
{
    const auto before = fixture::ReadFile(Input());
    for (const Command& c : Commands()) {
        SCOPED_TRACE(c.name);
        // Through a link in another directory, so only the file itself tells; import's own
        // output name is its input here.
        const std::string dir = fixture::FreshDir(std::string("safe-same-") + c.name);
        std::string out = dir + "piece.qv";
        if (std::string(c.name) == "import")
            out = Input();
        else
            fs::create_symlink(Input(), out);
        const Result r = Qv(With(c.args(Input(), out), "--force"));
        EXPECT_EQ(r.code, 1) << Shown(r);
        EXPECT_NE(r.err.find("is the input"), std::string::npos) << Shown(r);
        EXPECT_EQ(fixture::ReadFile(Input()), before);
    }
    // The plain cases the user types.
    const std::string copy = fixture::FreshDir("safe-same-plain") + "a.ogg";
    fs::copy_file(Input(), copy);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"make", copy, copy, "--force"}, {"render", copy, copy, "--force"}, {"export", copy, copy, "--force"}})
        EXPECT_EQ(Qv(args).code, 1) << args[0];
    EXPECT_EQ(fixture::ReadFile(copy), before);
}

// Runs qvtool with its output on a 64 KiB tmpfs mounted at dir, in a mount namespace of its own
// (unshare -rm lets a user without root mount there too). What is left on it comes back in
// `left`, one name a line. False when no such disk can be made here.
bool RunOnSmallDisk(const std::string& dir, const std::vector<std::string>& args, Result& r, std::string& left)
{
    std::vector<std::string> shell{
        "-rm", "sh", "-c",
        "d=$1; shift; mount -t tmpfs -o size=64k tmpfs \"$d\" || exit 97; \"$@\"; echo \"@@rc=$?\"; ls -A \"$d\"",
        "sh", dir, fixture::BinDir() + "/qvtool"};
    shell.insert(shell.end(), args.begin(), args.end());
    r = fixture::RunProgram("unshare", shell);
    const size_t mark = r.out.rfind("@@rc=");
    if (r.code != 0 || mark == std::string::npos)
        return false;
    const size_t line = r.out.find('\n', mark);
    r.code = std::stoi(r.out.substr(mark + 5, line - mark - 5));
    left = line == std::string::npos ? "" : r.out.substr(line + 1);
    r.out.resize(mark);
    return true;
}

TEST(QvSafe, AFullDiskLeavesNoOutputAndNoTemporaryFile)
{
    ASSERT_GT(fs::file_size(Input()), 64u * 1024);
    for (const Command& c : Commands()) {
        SCOPED_TRACE(c.name);
        const std::string dir = fixture::FreshDir(std::string("safe-full-") + c.name);
        Result r;
        std::string left;
        if (!RunOnSmallDisk(dir, c.args(Input(), dir + "piece.qv"), r, left))
            GTEST_SKIP() << "no small tmpfs can be mounted here (mount and unshare -rm both refused): "
                         << r.err;
        EXPECT_EQ(r.code, 1) << Shown(r);
        EXPECT_NE(r.err.find("piece.qv: cannot write: No space left on device"), std::string::npos) << Shown(r);
        EXPECT_EQ(left, "") << "left on the full disk";
    }
}

// Ctrl-C in the middle of a long render: the WAV file is not made, nor left half made.
TEST(QvSafe, AnInterruptedRenderLeavesNothing)
{
    const std::string dir = fixture::FreshDir("safe-interrupted");
    const std::string exe = fixture::BinDir() + "/qvtool";
    const std::string out = dir + "long.wav";
    const std::vector<std::string> args{exe, "render", Input(), out, "--seconds", "3000"};
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    // Until the render is under way: its temporary file is there.
    for (int i = 0; i < 200 && fs::is_empty(dir); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(fs::is_empty(dir)) << "the render never started";
    ::kill(pid, SIGINT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_TRUE(fs::is_empty(dir));
}

// Each failing command line: its exit status and what stderr must say.
TEST(QvSafe, FailuresNameTheFileAndTheReason)
{
    const std::string dir = fixture::FreshDir("safe-messages");
    const auto ogg = fixture::Encode(fixture::Sine(1.0), {}, 0.1f);
    Save(dir + "text.ogg", std::vector<uint8_t>(500, 't'));
    Save(dir + "empty.ogg", {});
    Save(dir + "headers.ogg", std::vector<uint8_t>(ogg.begin(), ogg.begin() + 60));
    Save(dir + "cut.ogg", std::vector<uint8_t>(ogg.begin(), ogg.end() - 20));
    Save(dir + "plain.ogg", ogg);
    // An Ogg stream that is not Vorbis: the identification packet's name changed, the page's
    // checksum made again.
    auto other = ogg;
    other[TOggPage::HeaderBytes + other[26] + 1] = 'X';
    int64_t first = TOggPage::HeaderBytes + other[26];
    for (int i = 0; i < other[26]; ++i)
        first += other[TOggPage::HeaderBytes + i];
    const uint32_t crc = TOggPage::Checksum(other.data(), first);
    for (int i = 0; i < 4; ++i)
        other[22 + i] = static_cast<uint8_t>(crc >> (8 * i));
    Save(dir + "other.ogg", other);
    ::mkfifo((dir + "fifo").c_str(), 0600);
    const std::string missing = dir + "missing.ogg";
    const std::string text = dir + "text.ogg", headers = dir + "headers.ogg", plain = dir + "plain.ogg";

    struct Case {
        std::vector<std::string> args;
        int code;
        std::string err;  // expected in stderr (or, for a line that succeeds, in either)
    };
    const std::vector<Case> cases{
        {{"info", text}, 1, text + ": not an Ogg Vorbis file (ファイルの読み込みに失敗)"},
        {{"render", text, dir + "x.wav"}, 1, text + ": not an Ogg Vorbis file"},
        {{"play", text}, 1, text + ": not an Ogg Vorbis file"},
        {{"make", text, dir + "x.qv"}, 1, text + ": not an Ogg Vorbis file"},
        {{"export", text, dir + "x.ogg"}, 1, text + ": not an Ogg Vorbis file"},
        {{"check", text}, 1, text + ": not an Ogg Vorbis file"},
        {{"find-loop", text}, 1, text + ": not an Ogg Vorbis file"},
        {{"info", dir + "empty.ogg"}, 1, "empty.ogg: empty file, not Ogg Vorbis"},
        {{"info", dir + "other.ogg"}, 1, "other.ogg: not an Ogg Vorbis file (an Ogg stream of another kind)"},
        {{"info", headers}, 1, headers + ": truncated: the Ogg data ends before its headers are complete"},
        {{"check", headers}, 1, headers + ": truncated"},
        {{"info", dir + "cut.ogg"}, 0, "cut.ogg: truncated: the last Ogg page is cut off"},
        {{"info", missing}, 1, missing + ": no such file"},
        {{"play", missing}, 1, missing + ": no such file"},
        {{"find-loop", missing}, 1, missing + ": no such file"},
        {{"render", dir + "fifo", dir + "y.wav"}, 1, "fifo: not a regular file (a named pipe)"},
        {{"info", dir}, 1, ": not a regular file (a directory)"},
        {{"render", plain, dir + "fifo", "--force"}, 1, "fifo: cannot write: not a regular file (a named pipe)"},
        {{"make", plain, dir + "no/dir/x.qv"}, 1, "x.qv: cannot write: No such file or directory"},
        {{"make", plain, dir + "m.qv", "--loop", "-1:0.5:-1"}, 1, "entry 0 (-1 s to 0.5 s, count -1): the start -1 s"},
        {{"make", plain, dir + "m.qv", "--loop", "0.5:0.25:-1"}, 1, "the start (frame 22050) is not before the end"},
        {{"make", plain, dir + "m.qv", "--loop", "0:0:0", "--loop", "0.1:300:-1"}, 1, "entry 1 (0.1 s to 300 s"},
        {{"make", plain, dir + "m.qv", "--loop", "1e30:1e31:-1"}, 1, "lies outside the piece"},
        {{"make", plain, dir + "m.qv", "--loop", "0.1:0.5:-5"}, 1, "the count -5 is below -1"},
        {{"play", plain, "--join", "0"}, 1, "entry 0 (0 s to 0 s, count 0) never jumps"},
        {{"play", plain, "--pause", "5"}, 2, "--pause wants AT:FOR in seconds"},
        {{"play", plain, "--pause", "1:-2"}, 2, "--pause wants AT:FOR"},
        {{"play", plain, "--seek", "x:1"}, 2, "--seek wants AT:BY in seconds"},
        {{"play", plain, "--seek", "1:nan"}, 2, "--seek wants AT:BY"},
        {{"play", plain, "--pause", "1:1e300"}, 2, "--pause wants AT:FOR"},
        {{"frobnicate"}, 2, "unknown command: frobnicate\nusage: qvtool "},
        {{"import", "--help"}, 0, "usage: qvtool import IN... [--out DIR] [--count N] [--force]\n"},
        {{"render", "-h"}, 0, "usage: qvtool render IN OUT.wav"},
        {{"play", "--help"}, 0, "--join K"},
        {{"make", "--help"}, 0, "[--force]"},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& a : c.args)
            shown += a + " ";
        const Result r = Qv(c.args);
        EXPECT_EQ(r.code, c.code) << shown << "\n" << Shown(r);
        EXPECT_NE((c.code == 0 ? r.out + r.err : r.err).find(c.err), std::string::npos)
            << shown << "\n" << Shown(r);
    }
    // Nothing was made by the lines that failed.
    for (const char* name : {"x.wav", "x.qv", "x.ogg", "y.wav", "m.qv"})
        EXPECT_FALSE(fs::exists(dir + name)) << name;
    struct stat st {};
    EXPECT_TRUE(::stat((dir + "fifo").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
}

}
