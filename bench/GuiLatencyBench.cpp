// How late a 10 ms timer on the GUI thread fires while the stream player plays a piece with a
// non-flat equaliser (SDL's disk driver, in real time). Each tick reads what the main window's
// timers read (paused, the time heard, the decoder's place, playing) and the analysis of the
// output (level and spectrum). The baseline is the same timer in the same run with nothing
// playing; other load comes from `stress-ng --cpu N` started beside it (--load N, default 2;
// 0 for none). --locked reads the decoder's place the waiting way (DecoderTime), as the
// display did before it read snapshots: for comparison only.
//
//   GuiLatencyBench [--seconds N] [--load N] [--locked]
//
// Last line, for scripts:
//   RESULT name=gui_latency p999_ms=.. max_ms=.. goal_p999_ms=16 goal_max_ms=50
//          baseline_p999_ms=.. baseline_max_ms=.. ticks=..
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TDSOggStream.h"
#include "TDXSound.h"

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Options {
    double seconds = 30.0;
    int load = 2;
    bool locked = false;
};

struct Figures {
    double p999 = 0.0;
    double max = 0.0;
    size_t ticks = 0;
    double longestReads = 0.0;  // the longest time one tick's reads took, in milliseconds
};

Figures Summarise(std::vector<double> late)
{
    Figures f;
    f.ticks = late.size();
    if (late.empty())
        return f;
    std::sort(late.begin(), late.end());
    const auto index = static_cast<size_t>(std::ceil(0.999 * static_cast<double>(late.size()))) - 1;
    f.p999 = late[std::min(index, late.size() - 1)];
    f.max = late.back();
    return f;
}

// Runs the 10 ms timer for seconds and returns each tick's lateness in milliseconds: the time
// since the tick before, less the interval. longestReads: the longest the reads of a tick took.
std::vector<double> Measure(QApplication& app, TDSOggStream& stream, double seconds, bool locked, double& longestReads)
{
    std::vector<double> late;
    late.reserve(static_cast<size_t>(seconds * 100.0) + 16);
    float graph[256];
    double sink = 0.0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(10);
    Clock::time_point last = Clock::now();
    const Clock::time_point end = last + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    QObject::connect(&timer, &QTimer::timeout, [&] {
        const Clock::time_point now = Clock::now();
        late.push_back(std::max(0.0, std::chrono::duration<double, std::milli>(now - last).count() - 10.0));
        last = now;
        sink += stream.IsPaused() ? 1.0 : 0.0;
        sink += stream.GetOutputTime();
        if (TOggData* data = stream.GetOggData()) {
            sink += locked ? data->DecoderTime() : stream.TimeTell();
            sink += data->GetOutputSum();
            data->GetOutputGraph(graph);
            sink += graph[0];
        }
        sink += stream.IsPlaying() ? 1.0 : 0.0;
        longestReads = std::max(longestReads, std::chrono::duration<double, std::milli>(Clock::now() - now).count());
        if (now >= end)
            app.quit();
    });
    timer.start();
    app.exec();
    timer.stop();
    if (!std::isfinite(sink))
        std::printf("(odd readings)\n");
    // The first tick measures the start of the loop, not the timer.
    if (!late.empty())
        late.erase(late.begin());
    return late;
}

Options Parse(int argc, char** argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            o.seconds = std::max(1.0, std::atof(argv[++i]));
        else if (std::strcmp(argv[i], "--load") == 0 && i + 1 < argc)
            o.load = std::max(0, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--locked") == 0)
            o.locked = true;
    }
    return o;
}

// stress-ng beside the measurement, ended with it.
class Load {
public:
    explicit Load(int cpus)
    {
        if (cpus <= 0)
            return;
        if (QStandardPaths::findExecutable(QStringLiteral("stress-ng")).isEmpty()) {
            std::printf("stress-ng not found: measuring without other load\n");
            return;
        }
        process_.start(QStringLiteral("stress-ng"), {QStringLiteral("--cpu"), QString::number(cpus), QStringLiteral("--quiet")});
        process_.waitForStarted();
    }
    ~Load()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished(5000);
            }
        }
    }
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;

private:
    QProcess process_;
};

}

int main(int argc, char** argv)
{
    const Options options = Parse(argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    ::unsetenv("SDL_DISKAUDIODELAY");  // real time
    int qtArgc = 1;
    char name[] = "GuiLatencyBench";
    char* qtArgv[] = {name, nullptr};
    QApplication app(qtArgc, qtArgv);

    _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
    // Noise at a high quality decodes slowest; the piece repeats for as long as the run lasts.
    const std::string piece = fixture::WriteTemp(
        fixture::Encode(fixture::Noise(20.0, 2, 44100, 0.25), {"TITLE=latency"}, 0.9f), "latency.ogg");

    TDXSound sound;
    TSoundFormat format{OutputFormat::Rate};
    if (!sound.Init(reinterpret_cast<HWND>(1), &format)) {
        std::fprintf(stderr, "no sound device (SDL disk driver)\n");
        return 1;
    }
    TDSOggStream stream;
    stream.Init(&sound);

    Figures baseline;
    Figures playing;
    {
        Load load(options.load);
        double reads = 0.0;
        baseline = Summarise(Measure(app, stream, std::max(5.0, options.seconds / 3.0), options.locked, reads));
        baseline.longestReads = reads;
        if (!stream.Play(piece, true) || stream.GetOggData() == nullptr) {
            std::fprintf(stderr, "cannot play %s\n", piece.c_str());
            return 1;
        }
        stream.GetOggData()->SetEQ4(1.8f, 0.4f, 1.2f, 0.7f, 0.0f);
        reads = 0.0;
        playing = Summarise(Measure(app, stream, options.seconds, options.locked, reads));
        playing.longestReads = reads;
        stream.Release();
    }

    std::printf("load: stress-ng --cpu %d%s\n", options.load, options.locked ? ", decoder place read with the lock" : "");
    std::printf("baseline (nothing playing): %zu ticks, p99.9 %.2f ms, max %.2f ms, longest reads %.2f ms\n",
                baseline.ticks, baseline.p999, baseline.max, baseline.longestReads);
    std::printf("playing with an equaliser:  %zu ticks, p99.9 %.2f ms, max %.2f ms, longest reads %.2f ms\n",
                playing.ticks, playing.p999, playing.max, playing.longestReads);
    std::printf("RESULT name=gui_latency p999_ms=%.2f max_ms=%.2f goal_p999_ms=16 goal_max_ms=50 "
                "baseline_p999_ms=%.2f baseline_max_ms=%.2f ticks=%zu\n",
                playing.p999, playing.max, baseline.p999, baseline.max, playing.ticks);
    _VorbisfileFinalize();
    return 0;
}
