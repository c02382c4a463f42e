// qvtool play FILE [--seconds N]: plays a file on the default SDL audio device through TDXSound and
// TDSOggStream, as the player does, until it ends or N seconds have passed; Ctrl-C stops it the
// same clean way. Our headless player, and how playback is measured.
#include "QvCommand.h"

#include "TDSOggStream.h"
#include "TDXSound.h"

#include <chrono>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void OnSignal(int)
{
    g_interrupted = 1;
}

// Routes SIGINT and SIGTERM to a flag for the life of the command, then restores them.
class TSignalScope {
public:
    TSignalScope()
    {
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &oldInt_);
        sigaction(SIGTERM, &sa, &oldTerm_);
    }
    ~TSignalScope()
    {
        sigaction(SIGINT, &oldInt_, nullptr);
        sigaction(SIGTERM, &oldTerm_, nullptr);
    }
    TSignalScope(const TSignalScope&) = delete;
    TSignalScope& operator=(const TSignalScope&) = delete;

private:
    struct sigaction oldInt_ {};
    struct sigaction oldTerm_ {};
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
    auto timeUp = [&] {
        return seconds >= 0.0 && std::chrono::duration<double>(Clock::now() - begun).count() >= seconds;
    };
    auto stopAsked = [&] { return g_interrupted != 0 || timeUp(); };
    TSignalScope signals;
    g_interrupted = 0;

    // Declared in this order, the stream is released before the device.
    TDXSound sound;
    TDSOggStream stream;
    TSoundFormat format{44100};
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

    while (!stopAsked() && stream.IsPlaying()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!stopAsked()) {
        // The piece has been rendered to its end; the buffer still holds up to its whole length
        // of sound. Mark it finished as the player does, so the refills that follow are silent,
        // and let what is left be heard.
        stream.PauseTime = stream.GetTotalTime();
        stream.SetMute(true);
        const auto tail = Clock::now() + std::chrono::milliseconds(stream.BufferSize * 1000ull / 176400 + 100);
        while (!stopAsked() && Clock::now() < tail) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    stream.Release();
    return QvOk;
}

QvRegistrar registrar{"play", "play FILE [--seconds N]", QvPlay};

}
