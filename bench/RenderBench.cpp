// Rendering one second through TOggData::RenderingToPointer against the baseline of ov_read of
// the same second of the same file in memory, for a 44100 Hz file (the direct path) and a
// 48000 Hz one (converted to 44100 Hz); the equaliser as a multiple of real time, beside
// the bare 256-point transforms it is built on; GetOutputGraph calls per second.
// Prints the ratios at the end.
#include "MeanReporter.h"
#include "MemoryOgg.h"
#include "OggDataLib.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TickCount.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int32_t kSecond = OutputFormat::BytesPerSecond;
constexpr double kFrom = 5.0;  // the second that every benchmark decodes

constexpr int kOtherRate = 48000;

// The benchmark file at 44100 Hz, or at the other rate.
const std::vector<uint8_t>& Bytes(int rate = OutputFormat::Rate)
{
    static const std::vector<uint8_t> bytes =
        fixture::Encode(fixture::Noise(20.0, 2, OutputFormat::Rate, 0.3, 17), {"TITLE=bench"}, 0.4f);
    static const std::vector<uint8_t> other =
        fixture::Encode(fixture::Noise(20.0, 2, kOtherRate, 0.3, 17), {"TITLE=bench"}, 0.4f);
    return rate == OutputFormat::Rate ? bytes : other;
}

// A TOggData playing the benchmark file, loaded from memory.
struct Player {
    TOggData data{OutputFormat::StreamBufferBytes};
    explicit Player(int rate = OutputFormat::Rate)
    {
        auto stream = std::make_unique<TMemoryStream>();
        stream->Write(Bytes(rate).data(), Bytes(rate).size());
        stream->SetPosition(0);
        data.LoadOgg(stream.release());  // with the decoder library loaded, LoadOgg takes it
        data.Play(false);
    }
};

void BM_OvRead(benchmark::State& state)
{
    MemoryOgg ogg(Bytes());
    if (!ogg.IsOpen()) {
        state.SkipWithError("libvorbisfile cannot open the file");
        return;
    }
    std::vector<char> out(kSecond);
    for (auto _ : state) {
        state.PauseTiming();
        ov_time_seek(ogg.File(), kFrom);
        state.ResumeTiming();
        benchmark::DoNotOptimize(ogg.Read(out.data(), kSecond));
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_OvRead)->Unit(benchmark::kMicrosecond);

void RenderSecond(benchmark::State& state, bool equalised)
{
    Player p;
    if (equalised)
        p.data.SetEQ4(1.5f, 0.7f, 1.0f, 1.3f, 0.0f);
    std::vector<uint8_t> out(kSecond);
    for (auto _ : state) {
        state.PauseTiming();
        p.data.TimeSeek(static_cast<float>(kFrom));
        state.ResumeTiming();
        benchmark::DoNotOptimize(p.data.RenderingToPointer(out.data(), kSecond));
    }
}

void BM_RenderFlat(benchmark::State& state)
{
    RenderSecond(state, false);
}
BENCHMARK(BM_RenderFlat)->Unit(benchmark::kMicrosecond);

void BM_RenderEQ(benchmark::State& state)
{
    RenderSecond(state, true);
}
BENCHMARK(BM_RenderEQ)->Unit(benchmark::kMicrosecond);

double ThreadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// The machine is shared, so the ratio is taken from pairs measured back to back (in alternating
// order) rather than from two benchmarks run minutes apart under different load. ov_read decodes
// the same second of the file, at the file's own rate.
double pairedRatio = 0.0;
double pairedRatioOther = 0.0;

void PairedVsOvRead(benchmark::State& state, int rate, double& ratio)
{
    MemoryOgg ogg(Bytes(rate));
    if (!ogg.IsOpen()) {
        state.SkipWithError("libvorbisfile cannot open the file");
        return;
    }
    Player p(rate);
    const int32_t sourceSecond = rate * OutputFormat::BytesPerFrame;
    std::vector<char> out(std::max(kSecond, sourceSecond));
    double ovTime = 0.0, renderTime = 0.0;
    int64_t n = 0;
    auto ovSecond = [&] {
        ov_time_seek(ogg.File(), kFrom);
        const double t0 = ThreadCpuSeconds();
        benchmark::DoNotOptimize(ogg.Read(out.data(), sourceSecond));
        ovTime += ThreadCpuSeconds() - t0;
    };
    auto renderSecond = [&] {
        p.data.TimeSeek(static_cast<float>(kFrom));
        const double t0 = ThreadCpuSeconds();
        benchmark::DoNotOptimize(p.data.RenderingToPointer(out.data(), kSecond));
        renderTime += ThreadCpuSeconds() - t0;
    };
    for (auto _ : state) {
        if (++n % 2) {
            ovSecond();
            renderSecond();
        } else {
            renderSecond();
            ovSecond();
        }
    }
    if (ovTime > 0.0) {
        ratio = renderTime / ovTime;
        state.counters["ratio"] = ratio;
    }
}

void BM_PairedFlatVsOvRead(benchmark::State& state)
{
    PairedVsOvRead(state, OutputFormat::Rate, pairedRatio);
}
BENCHMARK(BM_PairedFlatVsOvRead)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_Paired48kHzVsOvRead(benchmark::State& state)
{
    PairedVsOvRead(state, kOtherRate, pairedRatioOther);
}
BENCHMARK(BM_Paired48kHzVsOvRead)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The equaliser alone on one second of decoded audio.
void BM_ApplyEQ(benchmark::State& state)
{
    Player p;
    std::vector<uint8_t> second(kSecond);
    p.data.RenderingToPointer(second.data(), kSecond);
    p.data.SetEQ4(1.5f, 0.7f, 1.0f, 1.3f, 0.0f);
    std::vector<uint8_t> work(kSecond);
    for (auto _ : state) {
        std::memcpy(work.data(), second.data(), kSecond);
        p.data.ApplyEQ(reinterpret_cast<PLRWavePack>(work.data()), kSecond);
        benchmark::DoNotOptimize(work.data());
    }
}
BENCHMARK(BM_ApplyEQ)->Unit(benchmark::kMicrosecond);

// The transforms the equaliser runs for one second: 345 chunks, one forward and one inverse each.
void BM_BareTransforms(benchmark::State& state)
{
    TFFT fft(256);
    for (int i = 0; i < 256; ++i) {
        fft.Re[i] = static_cast<float>((i * 7919) % 20000 - 10000);
        fft.Im[i] = static_cast<float>((i * 104729) % 20000 - 10000);
    }
    for (auto _ : state) {
        for (int c = 0; c < 345; ++c) {
            fft.FFT();
            fft.UnFFT();
        }
        benchmark::DoNotOptimize(fft.Re.data());
    }
}
BENCHMARK(BM_BareTransforms)->Unit(benchmark::kMicrosecond);

void BM_GetOutputGraph(benchmark::State& state)
{
    Player p;
    TickCount::Pin(100000);
    p.data.Rendering();
    p.data.Rendering();
    TickCount::Advance(300);  // a position inside the ring, with sound in it
    float values[256];
    for (auto _ : state) {
        p.data.GetOutputGraph(values);
        benchmark::DoNotOptimize(values);
    }
    TickCount::Release();
    if (values[0] == 0.0f && values[100] == 0.0f)
        state.SkipWithError("the spectrum is empty: no valid position");
}
BENCHMARK(BM_GetOutputGraph);

}

int main(int argc, char** argv)
{
    _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
    benchmark::Initialize(&argc, argv);
    MeanReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    // CPU seconds per iteration.
    const double ov = reporter.Of("BM_OvRead").cpu;
    const double flat = reporter.Of("BM_RenderFlat").cpu;
    const double eq = reporter.Of("BM_RenderEQ").cpu;
    const double apply = reporter.Of("BM_ApplyEQ").cpu;
    const double bare = reporter.Of("BM_BareTransforms").cpu;
    const double graph = reporter.Of("BM_GetOutputGraph").cpu;
    if (ov > 0 && flat > 0)
        std::printf("rendering one second, flat equaliser / ov_read of the same second: %.3f (separate runs)\n",
                    flat / ov);
    if (pairedRatio > 0)
        std::printf("rendering one second, flat equaliser / ov_read of the same second: %.3f (paired)\n", pairedRatio);
    if (pairedRatioOther > 0)
        std::printf("rendering one second of a 48000 Hz file / ov_read of the same second: %.3f (paired)\n",
                    pairedRatioOther);
    if (eq > 0)
        std::printf("rendering with the equaliser on: %.0fx real time (%.3f of ov_read)\n", 1.0 / eq,
                    ov > 0 ? eq / ov : 0.0);
    if (apply > 0)
        std::printf("equaliser alone: %.0fx real time\n", 1.0 / apply);
    if (bare > 0)
        std::printf("bare 256-point transforms of one second: %.0fx real time\n", 1.0 / bare);
    if (graph > 0)
        std::printf("GetOutputGraph: %.0f calls per second\n", 1.0 / graph);
    _VorbisfileFinalize();
    return 0;
}
