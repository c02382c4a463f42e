// qvtool play, run as its own process: what it plays on the disk driver matches qvtool render
// block for block; a file it cannot play gives "再生失敗" and exit 1; Ctrl-C stops it cleanly.
#include "OggFixture.h"
#include "SoundTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

using namespace soundtest;
using namespace std::chrono_literals;

namespace {

struct QvRun {
    int code = -1;
    std::string err;
    double seconds = 0;
};

// Runs qvtool with args; with interruptAfter > 0 sends SIGINT once that time has passed.
QvRun Qvtool(const std::vector<std::string>& args, std::chrono::milliseconds interruptAfter = 0ms)
{
    const std::string exe = fixture::BinDir() + "/qvtool";
    const std::string errPath = fixture::TempDir() + "/qvtool.err";
    std::vector<char*> argv{const_cast<char*>(exe.c_str())};
    for (const auto& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const auto begun = std::chrono::steady_clock::now();
    pid_t pid = 0;
    QvRun run;
    if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return run;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (interruptAfter > 0ms) {
        std::this_thread::sleep_for(interruptAfter);
        kill(pid, SIGINT);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const auto err = fixture::ReadFile(errPath);
    run.err.assign(err.begin(), err.end());
    return run;
}

std::vector<uint32_t> Frames(const std::vector<uint8_t>& bytes, size_t skip)
{
    std::vector<uint32_t> f((bytes.size() - std::min(skip, bytes.size())) / 4);
    std::memcpy(f.data(), bytes.data() + skip, f.size() * 4);
    return f;
}

}

TEST(QvtoolPlay, WhatIsHeardMatchesRenderBlockForBlock)
{
    const std::string ogg = fixture::WriteTemp(fixture::Encode(fixture::Noise(8)), "qvplay.ogg");
    const std::string raw = fixture::TempDir() + "/qvplay.raw";
    const std::string wav = fixture::TempDir() + "/qvplay.wav";
    UseDiskDriver(raw);
    const QvRun played = Qvtool({"play", ogg, "--seconds", "3.5"});
    UseDummyDriver();
    ASSERT_EQ(played.code, 0) << played.err;
    EXPECT_GT(played.seconds, 3.3);
    EXPECT_LT(played.seconds, 6.0);
    ASSERT_EQ(Qvtool({"render", ogg, wav}).code, 0);

    const std::vector<uint32_t> heard = Frames(fixture::ReadFile(raw), 0);
    const std::vector<uint32_t> rendered = Frames(fixture::ReadFile(wav), 44);
    ASSERT_GE(rendered.size(), 8u * 44100);
    auto it = std::find_if(heard.begin(), heard.end(), [](uint32_t f) { return f != 0; });
    ASSERT_NE(it, heard.end()) << "nothing was heard";
    const size_t start = static_cast<size_t>(it - heard.begin());
    size_t same = 0;
    while (start + same < heard.size() && same < rendered.size() && heard[start + same] == rendered[same]) {
        ++same;
    }
    // Played for 3.5 s, less the time to open the device and the file: about three blocks, every
    // frame of them as rendered; afterwards only silence.
    EXPECT_GE(same, 44100u * 25 / 10);
    EXPECT_TRUE(std::all_of(heard.begin() + static_cast<std::ptrdiff_t>(start + same), heard.end(),
                            [](uint32_t f) { return f == 0; }));
}

// --join 0 on a 2 s .. 14 s loop: from 11 s to the jump at 14 s, on from 2 s to 5 s, and back to
// 11 s, round and round; what is heard is what render plays from 11 s with the loop, until the
// return.
TEST(QvtoolPlay, JoinPlaysThreeSecondsEitherSideOfTheJumpAgainAndAgain)
{
    auto bytes = fixture::ContainerHeader({{2.0f, 14.0f, -1}});
    const auto ogg = fixture::Encode(fixture::Noise(16), {}, 0.2f);
    bytes.insert(bytes.end(), ogg.begin(), ogg.end());
    const std::string qv = fixture::WriteTemp(bytes, "join.qv");
    const std::string raw = fixture::TempDir() + "/join.raw";
    const std::string wav = fixture::TempDir() + "/join.wav";
    UseDiskDriver(raw);
    const QvRun played = Qvtool({"play", qv, "--join", "0", "--seconds", "14"});
    UseDummyDriver();
    ASSERT_EQ(played.code, 0) << played.err;
    ASSERT_EQ(Qvtool({"render", qv, wav, "--seek", "11", "--seconds", "6"}).code, 0);

    const std::vector<uint32_t> heard = Frames(fixture::ReadFile(raw), 0);
    const std::vector<uint32_t> rendered = Frames(fixture::ReadFile(wav), 44);
    auto it = std::find_if(heard.begin(), heard.end(), [](uint32_t f) { return f != 0; });
    ASSERT_NE(it, heard.end()) << "nothing was heard";
    const size_t start = static_cast<size_t>(it - heard.begin());
    ASSERT_GE(heard.size(), start + 12 * 44100);
    // 3 s up to the jump and 3 s after it, every frame as render plays them.
    size_t same = 0;
    while (same < 6 * 44100 - 100 && heard[start + same] == rendered[same]) {
        ++same;
    }
    EXPECT_GE(same, 6u * 44100 - 100);
    // Then the same 6 s again: the return lands at 11 s.
    size_t again = 0;
    for (size_t k = 0; k < 3 * 44100; ++k) {
        again += heard[start + 6 * 44100 + 441 + k] == heard[start + 441 + k] ? 1 : 0;
    }
    EXPECT_GT(again, 3u * 44100 * 9 / 10);
}

TEST(QvtoolPlay, AJoinThatNeverJumpsIsRefused)
{
    UseDummyDriver();
    const std::string qv = fixture::MakeQv("never.qv", 2.0, 0.5f, 1.5f, 0);
    const QvRun r = Qvtool({"play", qv, "--join", "0"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("never jumps"), std::string::npos) << r.err;
    EXPECT_EQ(Qvtool({"play", qv, "--join", "16"}).code, 2);
}

TEST(QvtoolPlay, AFileThatCannotBePlayedSaysSo)
{
    UseDummyDriver();
    const QvRun missing = Qvtool({"play", fixture::TempDir() + "/nothing-here.ogg"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("再生失敗"), std::string::npos) << missing.err;
    const std::string text = fixture::WriteTemp(std::vector<uint8_t>(4000, 't'), "text.ogg");
    const QvRun bad = Qvtool({"play", text});
    EXPECT_EQ(bad.code, 1);
    EXPECT_NE(bad.err.find("再生失敗"), std::string::npos) << bad.err;
    EXPECT_EQ(Qvtool({"play"}).code, 2);
    EXPECT_EQ(Qvtool({"play", text, "--seconds", "x"}).code, 2);
}

TEST(QvtoolPlay, PlaysAShortPieceToItsEndAndStopsOnCtrlC)
{
    UseDummyDriver();
    const std::string shortOgg = fixture::WriteTemp(fixture::Encode(fixture::Sine(1.2)), "short.ogg");
    const QvRun ended = Qvtool({"play", shortOgg});
    EXPECT_EQ(ended.code, 0) << ended.err;
    EXPECT_GT(ended.seconds, 1.2);
    EXPECT_LT(ended.seconds, 6.0);

    const std::string longOgg = fixture::WriteTemp(fixture::Encode(fixture::Sine(30)), "long.ogg");
    const QvRun stopped = Qvtool({"play", longOgg}, 1500ms);
    EXPECT_EQ(stopped.code, 0) << stopped.err;
    EXPECT_LT(stopped.seconds, 3.0) << "Ctrl-C is taken at once";
}

TEST(QvtoolPlay, TheTraceGoesToStandardErrorOnlyWhenAskedFor)
{
    UseDummyDriver();
    const std::string ogg = fixture::WriteTemp(fixture::Encode(fixture::Sine(3)), "traced.ogg");
    const QvRun quiet = Qvtool({"play", ogg, "--seconds", "0.3"});
    EXPECT_EQ(quiet.code, 0);
    EXPECT_EQ(quiet.err, "");

    setenv("OSTRA_TRACE", "1", 1);
    const QvRun traced = Qvtool({"play", ogg, "--seconds", "0.3"});
    unsetenv("OSTRA_TRACE");
    EXPECT_EQ(traced.code, 0) << traced.err;
    // The device's and the stream player's steps in order, the file's name filled in.
    const std::string& e = traced.err;
    const size_t opened = e.find("[初期化開始]\n    DirectSoundオブジェクトの作成\n");
    const size_t played = e.find("Play:[" + ogg + "]を読みこみました\n");
    const size_t released = e.find("\n[" + ogg + "]を破棄します\n[解放処理開始]\n");
    const size_t closed = e.find("    DirectSoundオブジェクト解放\n[解放処理終了]\n");
    ASSERT_NE(closed, std::string::npos) << e;
    EXPECT_LT(opened, played) << e;
    EXPECT_LT(played, released) << e;
    EXPECT_LT(released, closed) << e;
}
