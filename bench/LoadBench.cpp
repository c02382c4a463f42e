// Loading a three-minute file: TOggData::LoadOgg (read the whole file into a memory stream, look
// for a container header, open the decoder through wuvorbis.dll, take the stream information)
// against the baseline of reading the file and opening it with libvorbisfile directly.
// Prints the ratio of the two mean times at the end.
#include "MeanReporter.h"
#include "MemoryOgg.h"
#include "OggDataLib.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string& ThreeMinuteFile()
{
    static std::string path = fixture::WriteTemp(
        fixture::Encode(fixture::Noise(180.0, 2, OutputFormat::Rate, 0.3), {"TITLE=bench"}, 0.4f),
        "three-minutes.ogg");
    return path;
}

std::vector<uint8_t> ReadWhole(const std::string& path)
{
    std::vector<uint8_t> out;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::fseek(f, 0, SEEK_END);
        out.resize(static_cast<size_t>(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        if (std::fread(out.data(), 1, out.size(), f) != out.size())
            out.clear();
        std::fclose(f);
    }
    return out;
}

void BM_DirectOpen(benchmark::State& state)
{
    const std::string& path = ThreeMinuteFile();
    for (auto _ : state) {
        const std::vector<uint8_t> bytes = ReadWhole(path);
        MemoryOgg ogg(bytes);
        if (!ogg.IsOpen()) {
            state.SkipWithError("libvorbisfile cannot open the file");
            break;
        }
        benchmark::DoNotOptimize(ov_time_total(ogg.File(), -1));
        benchmark::DoNotOptimize(ov_pcm_total(ogg.File(), -1));
        benchmark::DoNotOptimize(ov_comment(ogg.File(), -1));
    }
}
BENCHMARK(BM_DirectOpen)->Unit(benchmark::kMicrosecond);

void BM_LoadOgg(benchmark::State& state)
{
    const std::string& path = ThreeMinuteFile();
    TOggData data(OutputFormat::StreamBufferBytes);
    for (auto _ : state) {
        // Each load closes the one before, as loading into a used object does.
        if (!data.LoadOgg(path)) {
            state.SkipWithError("LoadOgg failed");
            break;
        }
        benchmark::DoNotOptimize(data.PcmBytes);
    }
    data.Init();
}
BENCHMARK(BM_LoadOgg)->Unit(benchmark::kMicrosecond);

}

int main(int argc, char** argv)
{
    _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
    std::printf("file: %s (%zu bytes, 180 s)\n", ThreeMinuteFile().c_str(), fixture::ReadFile(ThreeMinuteFile()).size());
    benchmark::Initialize(&argc, argv);
    MeanReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto load = reporter.Of("BM_LoadOgg");
    const auto direct = reporter.Of("BM_DirectOpen");
    if (load.real > 0 && direct.real > 0 && direct.cpu > 0)
        std::printf("LoadOgg %.1f us real %.1f us cpu; direct %.1f us real %.1f us cpu\n"
                    "ratio LoadOgg / direct libvorbisfile open: %.3f (real), %.3f (cpu)\n",
                    load.real * 1e6, load.cpu * 1e6, direct.real * 1e6, direct.cpu * 1e6, load.real / direct.real,
                    load.cpu / direct.cpu);
    _VorbisfileFinalize();
    return 0;
}
