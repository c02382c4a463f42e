// Ten thousand random commands to one stream player, as the GUI thread gives them, while the
// stream thread refills the buffer: play a file (good, looped container, mono, another rate,
// missing, not Ogg), pause and resume, stop, rewind, forward, fade out, volume, mute, a finished
// piece marked as the main window does, title lookups, and release. Nothing may crash or hang,
// each answer must be one the player can give, at most one stream thread may exist at a time,
// and none may be left once the player is released. The sanitizer builds run this too, and a
// watchdog turns a deadlock into a failure that names the command it stuck in.
#include "ERangeError.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "SoundTestSupport.h"
#include "TDSOggStream.h"
#include "TDXSound.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using fixture::WaitFor;

namespace {

const char* const kCommandNames[] = {"play",   "pause",  "stop",  "rewind", "forward", "fadeout", "volume",
                                     "mute",   "finish", "query", "title",  "release", "wait"};
enum Command { Play, Pause, Stop, Rewind, Forward, FadeOut, Volume, Mute, Finish, Query, Title, Release, Wait };

// Weights of the commands: playback changes are frequent, file switches and releases rarer, as a
// user clicking about would give them.
Command Pick(std::mt19937& rng)
{
    static const int weights[] = {6, 12, 8, 10, 10, 6, 10, 6, 4, 12, 3, 3, 10};
    static std::discrete_distribution<int> dist(std::begin(weights), std::end(weights));
    return static_cast<Command>(dist(rng));
}

struct TestFile {
    std::string path;
    enum Kind { Good, Missing, NotOgg } kind;
};

std::vector<TestFile> MakeFiles()
{
    using fixture::Encode;
    const auto stereo = Encode(fixture::Sine(2.5), {"TITLE=stress"}, 0.0f);
    auto looped = fixture::ContainerHeader({{0.5f, 1.5f, -1}});
    looped.insert(looped.end(), stereo.begin(), stereo.end());
    const std::string text = "not an Ogg file\n";
    return {
        {fixture::WriteTemp(stereo, "stereo.ogg"), TestFile::Good},
        {fixture::WriteTemp(looped, "looped.qv"), TestFile::Good},
        {fixture::WriteTemp(Encode(fixture::Sine(1.5, {330.0}, 1), {}, 0.0f), "mono.ogg"), TestFile::Good},
        {fixture::WriteTemp(Encode(fixture::Noise(1.0, 2, 48000), {}, 0.0f), "rate48k.ogg"), TestFile::Good},
        {fixture::WriteTemp(std::vector<uint8_t>(text.begin(), text.end()), "text.ogg"), TestFile::NotOgg},
        {fixture::TempDir() + "/missing.ogg", TestFile::Missing},
    };
}

// Aborts with the command in progress when the loop makes no progress for a long time.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit)
        : thread_([this, limit] {
              std::unique_lock<std::mutex> lock(mutex_);
              int seen = -1;
              while (!done_) {
                  const int now = step_.load();
                  if (now == seen) {
                      std::fprintf(stderr, "stress: no progress for %lld s in command %d (%s)\n",
                                   static_cast<long long>(limit.count()), now, kCommandNames[command_.load()]);
                      std::abort();
                  }
                  seen = now;
                  cv_.wait_for(lock, limit);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void Step(int step, Command command)
    {
        command_.store(command);
        step_.store(step);
    }

private:
    std::atomic<int> step_{0};
    std::atomic<int> command_{0};
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};

int Commands()
{
    const char* n = std::getenv("OSTRA_STRESS_COMMANDS");
    return n ? std::atoi(n) : 10000;
}

uint32_t Seed()
{
    const char* s = std::getenv("OSTRA_STRESS_SEED");
    return s ? static_cast<uint32_t>(std::strtoul(s, nullptr, 10)) : 20261207u;
}

}

TEST(StreamStress, RandomCommandsLeaveNoThreadAndNeverHang)
{
    soundtest::UseDummyDriver();
    _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
    const std::vector<TestFile> files = MakeFiles();
    const uint32_t seed = Seed();
    std::mt19937 rng(seed);
    SCOPED_TRACE("OSTRA_STRESS_SEED=" + std::to_string(seed));

    Watchdog watchdog(60s);
    const int idle = soundtest::ThreadCount();
    int played = 0;
    int maxThreads = 0;
    {
        TDXSound sound;
        TSoundFormat format{OutputFormat::Rate};
        ASSERT_TRUE(sound.Init(reinterpret_cast<HWND>(1), &format));
        TDSOggStream stream;
        ASSERT_TRUE(stream.Init(&sound));
        const int withDevice = soundtest::ThreadCount();

        std::uniform_real_distribution<float> seconds(0.0f, 4.0f);
        const int total = Commands();
        for (int i = 0; i < total; ++i) {
            const Command command = Pick(rng);
            watchdog.Step(i, command);
            switch (command) {
            case Play: {
                const TestFile& file = files[rng() % files.size()];
                bool ok = false;
                bool threw = false;
                try {
                    ok = stream.Play(file.path, rng() % 8 == 0);
                } catch (const ERangeError&) {
                    threw = true;
                }
                ASSERT_EQ(ok, file.kind == TestFile::Good) << file.path;
                ASSERT_EQ(threw, file.kind == TestFile::NotOgg) << file.path;
                played += ok;
                break;
            }
            case Pause:
                stream.Pause();
                break;
            case Stop:
                stream.Stop();
                break;
            case Rewind:
                stream.Rewind(seconds(rng));
                break;
            case Forward:
                stream.Forward(seconds(rng));
                break;
            case FadeOut:
                stream.FadeOut(seconds(rng));
                break;
            case Volume:
                stream.SetVolume(-static_cast<int32_t>(rng() % 10001));
                break;
            case Mute:
                stream.SetMute(rng() % 2 == 0);
                break;
            case Finish:
                // What the main window does when a piece has ended: silent blocks from here on.
                stream.MarkFinished();
                break;
            case Query: {
                const float t = stream.GetOutputTime();
                const float total = stream.GetTotalTime();
                ASSERT_GE(t, 0.0f);
                ASSERT_GE(total, 0.0f);
                ASSERT_LE(total, 3.0f);
                (void)stream.IsPlaying();
                break;
            }
            case Title: {
                const TestFile& file = files[rng() % files.size()];
                try {
                    const std::string title = stream.GetTitle(file.path);
                    ASSERT_TRUE(title.empty() || title == "stress") << title;
                } catch (const ERangeError&) {
                    ASSERT_EQ(file.kind, TestFile::NotOgg);
                }
                break;
            }
            case Release:
                stream.Release();
                ASSERT_FALSE(stream.HasStreamThread());
                break;
            case Wait:
                // Let the stream thread run: up to a few milliseconds, now and then across a refill.
                std::this_thread::sleep_for(std::chrono::microseconds(rng() % 40 == 0 ? rng() % 1200000 : rng() % 3000));
                break;
            }
            const int threads = soundtest::ThreadCount();
            maxThreads = std::max(maxThreads, threads);
            ASSERT_LE(threads, withDevice + 1) << "more than one stream thread after command " << i;
        }

        stream.Release();
        EXPECT_FALSE(stream.HasStreamThread());
        EXPECT_TRUE(WaitFor([&] { return soundtest::ThreadCount() == withDevice; }, 5000ms))
            << soundtest::ThreadCount() << " threads, " << withDevice << " before the first play";
    }
    EXPECT_TRUE(WaitFor([&] { return soundtest::ThreadCount() <= idle; }, 5000ms))
        << soundtest::ThreadCount() << " threads after the device went, " << idle << " before it came";
    EXPECT_GT(played, 100);
    std::printf("stress: %d commands, %d files played, at most %d threads\n", Commands(), played, maxThreads);
}
