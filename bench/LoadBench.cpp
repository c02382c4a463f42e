// Loading a three-minute file: TOggData::LoadOgg (read the whole file into a memory stream, look
// for a container header, open the decoder through wuvorbis.dll, take the stream information)
// against the baseline of reading the file and opening it with libvorbisfile directly.
// Prints the ratio of the two mean times at the end.
#include "OggDataLib.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"

#include <benchmark/benchmark.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

const std::string& ThreeMinuteFile()
{
    static std::string path = fixture::WriteTemp(
        fixture::Encode(fixture::Noise(180.0, 2, 44100, 0.3), {"TITLE=bench"}, 0.4f), "three-minutes.ogg");
    return path;
}

struct Memory {
    std::vector<uint8_t> bytes;
    size_t pos = 0;
};

size_t MemRead(void* ptr, size_t size, size_t nmemb, void* ds)
{
    auto* m = static_cast<Memory*>(ds);
    size_t n = std::min(size * nmemb, m->bytes.size() - m->pos);
    std::memcpy(ptr, m->bytes.data() + m->pos, n);
    m->pos += n;
    return size ? n / size : 0;
}

int MemSeek(void* ds, ogg_int64_t off, int whence)
{
    auto* m = static_cast<Memory*>(ds);
    int64_t base = whence == SEEK_CUR ? static_cast<int64_t>(m->pos)
                   : whence == SEEK_END ? static_cast<int64_t>(m->bytes.size())
                                        : 0;
    int64_t p = base + off;
    if (p < 0 || p > static_cast<int64_t>(m->bytes.size()))
        return -1;
    m->pos = static_cast<size_t>(p);
    return 0;
}

long MemTell(void* ds) { return static_cast<long>(static_cast<Memory*>(ds)->pos); }

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
        Memory m{ReadWhole(path)};
        OggVorbis_File vf;
        ov_callbacks cb{MemRead, MemSeek, nullptr, MemTell};
        if (ov_open_callbacks(&m, &vf, nullptr, 0, cb) < 0) {
            state.SkipWithError("libvorbisfile cannot open the file");
            break;
        }
        benchmark::DoNotOptimize(ov_time_total(&vf, -1));
        benchmark::DoNotOptimize(ov_pcm_total(&vf, -1));
        benchmark::DoNotOptimize(ov_comment(&vf, -1));
        ov_clear(&vf);
    }
}
BENCHMARK(BM_DirectOpen)->Unit(benchmark::kMicrosecond);

void BM_LoadOgg(benchmark::State& state)
{
    const std::string& path = ThreeMinuteFile();
    TOggData data(352800);
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

// Console output as usual, plus the mean real time per iteration of each benchmark over all
// its repetitions.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !r.error_occurred) {
                auto& t = totals[r.run_name.function_name];
                t.real += r.real_accumulated_time;
                t.cpu += r.cpu_accumulated_time;
                t.iterations += static_cast<double>(r.iterations);
            }
        ConsoleReporter::ReportRuns(runs);
    }
    struct Total {
        double real = 0, cpu = 0, iterations = 0;
    };
    Total Mean(const std::string& name) const
    {
        auto it = totals.find(name);
        if (it == totals.end() || it->second.iterations == 0)
            return {};
        return {it->second.real / it->second.iterations, it->second.cpu / it->second.iterations, 1};
    }
    std::map<std::string, Total> totals;
};

}

int main(int argc, char** argv)
{
    _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
    std::printf("file: %s (%zu bytes, 180 s)\n", ThreeMinuteFile().c_str(), fixture::ReadFile(ThreeMinuteFile()).size());
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    auto load = reporter.Mean("BM_LoadOgg");
    auto direct = reporter.Mean("BM_DirectOpen");
    if (load.real > 0 && direct.real > 0 && direct.cpu > 0)
        std::printf("LoadOgg %.1f us real %.1f us cpu; direct %.1f us real %.1f us cpu\n"
                    "ratio LoadOgg / direct libvorbisfile open: %.3f (real), %.3f (cpu)\n",
                    load.real * 1e6, load.cpu * 1e6, direct.real * 1e6, direct.cpu * 1e6, load.real / direct.real,
                    load.cpu / direct.cpu);
    _VorbisfileFinalize();
    return 0;
}
