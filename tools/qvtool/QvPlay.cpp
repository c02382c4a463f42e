// qvtool play FILE [--seconds N]: plays a file on the default SDL audio device through TDXSound and
// TDSOggStream, as the player does, until it ends or N seconds have passed; Ctrl-C stops it the
// same clean way. Our headless player, and how playback is measured.
#include "QvCommand.h"

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

namespace {

// Blocks SIGINT and SIGTERM for the life of the command, in this thread and in every thread it
// starts (SDL's audio thread, the stream thread), so that they arrive only through Wait. Waiting
// for a signal with a timeout also paces the loop without waking up more often than needed.
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

int Failed()
{
    std::fprintf(stderr, "再生失敗\n");
    return QvFailed;
}

int QvPlay(const std::vector<std::string>& args)
{
    std::string file;
    double seconds = -1.0;  // no limit
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--seconds") {
            if (i + 1 >= args.size() || !ParseSeconds(args[++i], seconds)) {
                std::fprintf(stderr, "--seconds wants a number of seconds, 0 or more\n");
                return QvUsage;
            }
        } else if (file.empty()) {
            file = args[i];
        } else {
            return QvUsage;
        }
    }
    if (file.empty()) {
        return QvUsage;
    }
    QvLoadDecoder();

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
    // The scope comes first: its mask must be in place before SDL starts its thread, and it is
    // restored only after the stream and the device are gone.
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
    try {
        if (!stream.Play(file, false)) {
            return Failed();
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return Failed();
    }

    bool stop = false;
    while (!stop && stream.IsPlaying()) {
        const long ms = nextWait();
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
    stream.Release();
    return QvOk;
}

QvRegistrar registrar{"play", "play FILE [--seconds N]", QvPlay};

}
