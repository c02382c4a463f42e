// qvtool play FILE [--seconds N] [--join K] [--pause AT:FOR] [--seek AT:BY]: plays a file on the
// default audio device through TDXSound and TDSOggStream, as the player does, until it ends or N
// seconds have passed; Ctrl-C stops it the same clean way. Our headless player, and how playback is
// measured. With --join K it plays the join of loop entry K over and over, from 3 s before the jump
// to 3 s after it, for whoever makes the loop to listen to. --pause and --seek (each as often as
// wanted) pause for FOR seconds, or step BY seconds (back when negative), AT seconds after the
// start, as the transport buttons do; each step, and the stop at the end, prints the clock before
// it ("paused at 6.012 s"), so that a recording shows how soon it was heard.
#include "QvCommand.h"

#include "LoopFit.h"

#include "TDSOggStream.h"
#include "TDXSound.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <pthread.h>
#include <signal.h>
#include <string>
#include <vector>

namespace {

// Blocks SIGINT and SIGTERM for the life of the command, in this thread and in every thread it
// starts (the sound device's thread, the stream thread), so that they arrive only through Wait.
// Waiting for a signal with a timeout also paces the loop without waking up more often than
// needed.
class TSignalScope {
public:
    TSignalScope()
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
    }
    ~TSignalScope() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    TSignalScope(const TSignalScope&) = delete;
    TSignalScope& operator=(const TSignalScope&) = delete;

    // Waits up to ms milliseconds; true once Ctrl-C (or SIGTERM) has come.
    bool Wait(long ms)
    {
        if (interrupted_) {
            return true;
        }
        timespec timeout{ms / 1000, (ms % 1000) * 1000000L};
        if (sigtimedwait(&set_, nullptr, &timeout) > 0) {
            interrupted_ = true;
        }
        return interrupted_;
    }
    bool Interrupted() const { return interrupted_; }

private:
    sigset_t set_{};
    sigset_t old_{};
    bool interrupted_ = false;
};

bool ParseSeconds(const std::string& text, double& out)
{
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    out = std::strtod(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(out) && out >= 0.0;
}

// Seconds heard on each side of the join.
constexpr float kJoinSide = 3.0f;

// The loop table and the starting place that play the join of one entry round and round.
struct TJoinLoop {
    TOggLoop Table[2]{};
    int Entries = 0;
    float From = 0.0f;
};

// Entry K's jump, played again and again: from 3 s before its end, the jump to its start, 3 s on
// from there, and back (a second entry jumping from 3 s after the start to 3 s before the end).
// The engine takes the first entry whose end comes, so the two passes must not cross each other's
// ends: with a loop of 6 s or less they would, and the loop alone already plays its join every
// pass, at most 3 s from the next; then the entry alone loops, played from up to 3 s before its
// end (from the piece's start when the end lies nearer to it).
TJoinLoop JoinLoop(const TOggLoop& entry)
{
    TJoinLoop j;
    const float start = entry.LoopStart, end = entry.LoopEnd;
    j.Table[0] = {start, end, -1};
    j.Entries = 1;
    j.From = std::max(end - kJoinSide, 0.0f);
    if (end - start > 2 * kJoinSide) {
        j.Table[1] = {end - kJoinSide, start + kJoinSide, -1};
        j.Entries = 2;
    }
    return j;
}

// Why entry k of the file can never jump; "" when it can.
std::string NeverJumps(const TOggData& data, int k)
{
    const TOggLoop& l = data.Loops[k];
    const TLoopFit fit(data.Rate, data.PcmBytes / OutputFormat::BytesPerFrame);
    const int64_t start = fit.StartFrame(l.LoopStart);
    const int64_t end = fit.EndFrame(l.LoopEnd);
    char what[160];
    std::snprintf(what, sizeof what, "entry %d (%g s to %g s, count %d) never jumps: ", k,
                  static_cast<double>(l.LoopStart), static_cast<double>(l.LoopEnd), l.RepeatCount);
    if (l.RepeatCount == 0 || l.RepeatCount < -1)
        return what + std::string("its count allows no jump");
    if (start < 0 || end < 0)
        return what + std::string("a time outside the piece");
    if (start >= end)
        return what + std::string("its start is not before its end");
    return {};
}

// A pause or a seek AT seconds of wall time after the start.
struct TStep {
    double At = 0.0;
    bool Pause = false;
    double Value = 0.0;  // the pause's length, or the seek's step
};

// "AT:VALUE", AT 0 or more, VALUE any finite number (a pause's length: 0 or more), both within
// a million seconds, so that the waits they make are times the clock can hold.
bool ParseStep(const std::string& text, bool pause, TStep& step)
{
    constexpr double limit = 1e6;
    const size_t colon = text.find(':');
    if (colon == std::string::npos || !ParseSeconds(text.substr(0, colon), step.At)) {
        return false;
    }
    const std::string value = text.substr(colon + 1);
    char* end = nullptr;
    errno = 0;
    step.Value = std::strtod(value.c_str(), &end);
    step.Pause = pause;
    return !value.empty() && errno == 0 && *end == '\0' && std::fabs(step.Value) <= limit && step.At <= limit &&
           (!pause || step.Value >= 0.0);
}

int Failed()
{
    std::fprintf(stderr, "再生失敗\n");
    return QvFailed;
}

int QvPlay(const std::vector<std::string>& args)
{
    std::string file;
    double seconds = -1.0;  // no limit
    int join = -1;
    std::vector<TStep> steps;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--seconds") {
            if (i + 1 >= args.size() || !ParseSeconds(args[++i], seconds)) {
                std::fprintf(stderr, "--seconds wants a number of seconds, 0 or more\n");
                return QvUsage;
            }
        } else if (args[i] == "--join") {
            const std::string k = i + 1 < args.size() ? args[++i] : "";
            if (k.empty() || k.size() > 2 || k.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(k) > 15) {
                std::fprintf(stderr, "--join wants an entry number from 0 to 15\n");
                return QvUsage;
            }
            join = std::stoi(k);
        } else if (args[i] == "--pause" || args[i] == "--seek") {
            TStep step;
            if (i + 1 >= args.size() || !ParseStep(args[i + 1], args[i] == "--pause", step)) {
                std::fprintf(stderr, "%s wants AT:%s in seconds\n", args[i].c_str(),
                             args[i] == "--pause" ? "FOR" : "BY");
                return QvUsage;
            }
            ++i;
            steps.push_back(step);
        } else if (args[i].size() > 2 && args[i].compare(0, 2, "--") == 0) {
            std::fprintf(stderr, "unknown option %s\n", args[i].c_str());
            return QvUsage;
        } else if (file.empty()) {
            file = args[i];
        } else {
            return QvUsage;
        }
    }
    if (file.empty()) {
        return QvUsage;
    }
    // Opened here first, so that a file that cannot be played is named with the reason before
    // any sound device is touched.
    TJoinLoop joinLoop;
    {
        TOggData data(0);
        if (!QvOpen(data, file)) {
            return Failed();
        }
        if (join >= 0) {
            if (const std::string why = NeverJumps(data, join); !why.empty()) {
                std::fprintf(stderr, "%s: %s\n", file.c_str(), why.c_str());
                return QvFailed;
            }
            joinLoop = JoinLoop(data.Loops[join]);
        }
    }

    using Clock = std::chrono::steady_clock;
    const auto begun = Clock::now();
    // Milliseconds to the --seconds limit, capped to one poll; 0 once the time is up.
    auto nextWait = [&]() -> long {
        constexpr long poll = 250;
        if (seconds < 0.0) {
            return poll;
        }
        const double left = seconds - std::chrono::duration<double>(Clock::now() - begun).count();
        return left <= 0.0 ? 0 : std::min<long>(poll, static_cast<long>(std::ceil(left * 1000.0)));
    };
    // The scope comes first: its mask must be in place before the sound device starts its thread,
    // and it is restored only after the stream and the device are gone.
    TSignalScope signals;

    // Declared in this order, the stream is released before the device.
    TDXSound sound;
    TDSOggStream stream;
    TSoundFormat format{OutputFormat::Rate};
    if (!sound.Init(nullptr, &format)) {
        std::fprintf(stderr, "音声デバイスを開けません\n");
        return Failed();
    }
    stream.Init(&sound);
    if (join >= 0) {
        // The table and the place are set on the loaded data before the stream thread renders
        // its first block; nothing else reads them then.
        stream.SetPrepare([&joinLoop](TOggData& data) {
            for (int i = 0; i < 16; ++i) {
                data.Loops[i] = i < joinLoop.Entries ? joinLoop.Table[i] : TOggLoop{0.0f, 0.0f, 0};
                data.SetLoopCount(i, 0);
            }
            data.TimeSeek(joinLoop.From);
        });
    }
    try {
        if (!stream.Play(file, false)) {
            return Failed();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return Failed();
    }

    std::stable_sort(steps.begin(), steps.end(), [](const TStep& a, const TStep& b) { return a.At < b.At; });
    size_t next = 0;
    const auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - begun).count(); };
    bool stop = false;
    while (!stop && stream.IsPlaying()) {
        if (next < steps.size() && elapsed() >= steps[next].At) {
            const TStep& step = steps[next++];
            const double before = stream.GetOutputTime();
            if (step.Pause) {
                stream.Pause();
                std::printf("paused at %.3f s\n", before);
                std::fflush(stdout);
                const auto until = Clock::now() + std::chrono::duration<double>(step.Value);
                while (!stop && Clock::now() < until) {
                    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
                    stop = signals.Wait(std::max<long>(static_cast<long>(left.count()), 1));
                }
                stream.Pause();
            } else {
                if (step.Value >= 0.0) {
                    stream.Forward(static_cast<float>(step.Value));
                } else {
                    stream.Rewind(static_cast<float>(-step.Value));
                }
                std::printf("seek at %.3f s to %.3f s\n", before, static_cast<double>(stream.GetOutputTime()));
                std::fflush(stdout);
            }
            continue;
        }
        long ms = nextWait();
        if (next < steps.size()) {
            ms = std::min(ms, std::max(1L, static_cast<long>(std::ceil((steps[next].At - elapsed()) * 1000.0))));
        }
        stop = ms == 0 || signals.Wait(ms);
    }
    if (!stop) {
        // The piece has been rendered to its end; the buffer still holds up to its whole length
        // of sound. Mark it finished as the player does, so the refills that follow are silent,
        // and let what is left be heard.
        stream.MarkFinished();
        const auto tail = Clock::now() + std::chrono::milliseconds(
                                             stream.GetBufferSize() * 1000ull / OutputFormat::BytesPerSecond + 100);
        while (!stop && Clock::now() < tail) {
            const long toTail = static_cast<long>(
                std::chrono::duration_cast<std::chrono::milliseconds>(tail - Clock::now()).count());
            const long ms = std::min(nextWait(), std::max(toTail, 1L));
            stop = ms == 0 || signals.Wait(ms);
        }
    }
    if (!steps.empty()) {
        std::printf("stopped at %.3f s\n", static_cast<double>(stream.GetOutputTime()));
    }
    stream.Release();
    return QvOk;
}

QvRegistrar registrar{"play", "play FILE [--seconds N] [--join K] [--pause AT:FOR] [--seek AT:BY]", QvPlay};

}
