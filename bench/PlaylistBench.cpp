// Adding a thousand entries of about 5 MB each to the playlist window, with fast loading off (one
// title lookup, which reads the stream's headers, per entry) and on (the file name only), against
// a plain TOggData::LoadOgg of the same thousand files. The ratios are printed after the run, with
// the bytes each title lookup read (rchar of /proc/self/io), and last one line for scripts:
//   RESULT name=titles ratio=<off/on> goal_ratio=2 kib_per_lookup=<KiB> goal_kib=64
#include "OggDataLib.h"
#include "OggFixture.h"
#include "TApplication.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"

#include <QAction>
#include <QStringList>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>

namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 1000;
// Noise at a high quality: about 5 MB, as a few minutes of real music would be.
constexpr double kPieceSeconds = 120.0;


// What the adding with titles read, per entry.
double g_bytesPerLookup = -1.0;

std::vector<std::string>& Files()
{
    static std::vector<std::string> files;
    return files;
}

QStringList Chosen()
{
    QStringList out;
    for (const std::string& f : Files())
        out << QString::fromStdString(f);
    return out;
}

void BM_LoadOgg(benchmark::State& state)
{
    for (auto _ : state) {
        for (const std::string& f : Files()) {
            TOggData data(0);
            benchmark::DoNotOptimize(data.LoadOgg(f));
        }
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void AddAll(benchmark::State& state, bool fastLoad)
{
    Form1->S3->setChecked(fastLoad);
    const QStringList chosen = Chosen();
    Form2->ChooseOggFiles = [&chosen] { return chosen; };
    long long read = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Form2->C1Click();
        const long long before = fixture::ProcessReadBytes();
        state.ResumeTiming();
        Form2->MLoadOggClick();
        read += fixture::ProcessReadBytes() - before;
    }
    if (!fastLoad)
        g_bytesPerLookup = static_cast<double>(read) / (static_cast<double>(state.iterations()) * kEntries);
    if (Form2->Playlist->Count() != kEntries)
        state.SkipWithError("not every entry was added");
    state.SetItemsProcessed(state.iterations() * kEntries);
}

void BM_AddFastLoadOff(benchmark::State& state)
{
    AddAll(state, false);
}

void BM_AddFastLoadOn(benchmark::State& state)
{
    AddAll(state, true);
}

BENCHMARK(BM_LoadOgg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddFastLoadOff)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AddFastLoadOn)->Unit(benchmark::kMillisecond);

// Keeps each benchmark's time per iteration so the ratios can be printed in the same run.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
                real[r.benchmark_name()] = r.GetAdjustedRealTime();
                cpu[r.benchmark_name()] = r.GetAdjustedCPUTime();
            }
    }
    std::map<std::string, double> real;
    std::map<std::string, double> cpu;
};

}

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    int qtArgc = 1;
    char name[] = "PlaylistBench";
    char* qtArgv[] = {name, nullptr};
    TApplication app(qtArgc, qtArgv);

    // A program directory of our own, so no settings file of a real run is touched.
    const fs::path dir = fs::path(fixture::TempDir()) / "app";
    fs::create_directories(dir);
    fs::create_symlink(fs::path(fixture::BinDir()) / "wuvorbis.dll", dir / "wuvorbis.dll");
    fs::create_directory_symlink(fs::path(fixture::BinDir()) / "skin", dir / "skin");

    // A thousand entries with a title: links to one file of about 5 MB.
    const std::string piece = fixture::WriteTemp(
        fixture::Encode(fixture::Noise(kPieceSeconds, 2, 44100, 0.25), {"TITLE=Bench song"}, 0.9f), "piece.ogg");
    std::cout << "entry size: " << fs::file_size(piece) << " bytes\n";
    for (int i = 0; i < kEntries; ++i) {
        const fs::path entry = fs::path(fixture::TempDir()) / ("entry" + std::to_string(i) + ".ogg");
        fs::create_hard_link(piece, entry);
        Files().push_back(entry.string());
    }

    auto form1 = std::make_unique<TForm1>(dir.string() + "/", nullptr);
    auto form2 = std::make_unique<TForm2>();
    auto form3 = std::make_unique<TForm3>();
    auto form4 = std::make_unique<TForm4>();
    auto form5 = std::make_unique<TForm5>();

    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    auto ratio = [&](const char* a, const char* b) {
        const auto& r = reporter.real;
        const auto& c = reporter.cpu;
        if (r.count(a) && r.count(b) && r.at(b) > 0 && c.at(b) > 0)
            std::cout << a << " / " << b << " = " << r.at(a) / r.at(b) << " (real time), "
                      << c.at(a) / c.at(b) << " (CPU time)\n";
    };
    std::cout << "\nper " << kEntries << " entries:\n";
    ratio("BM_AddFastLoadOff", "BM_LoadOgg");
    ratio("BM_AddFastLoadOn", "BM_LoadOgg");
    ratio("BM_AddFastLoadOff", "BM_AddFastLoadOn");
    const auto& r = reporter.real;
    if (r.count("BM_AddFastLoadOff") && r.count("BM_AddFastLoadOn") && r.at("BM_AddFastLoadOn") > 0) {
        const double kib = g_bytesPerLookup / 1024.0;
        std::cout << "read per title lookup: " << kib << " KiB\n";
        std::cout << "RESULT name=titles ratio=" << r.at("BM_AddFastLoadOff") / r.at("BM_AddFastLoadOn")
                  << " goal_ratio=2 kib_per_lookup=" << kib << " goal_kib=64" << std::endl;
    }

    form5.reset();
    form4.reset();
    form3.reset();
    form2.reset();
    form1.reset();
    benchmark::Shutdown();
    return 0;
}
