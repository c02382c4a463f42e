// Opening a short piece followed by a long run of zeros or garbage (a preallocated or partly
// downloaded file): TOggData::LoadOgg and the title lookup, against reading the same file into
// memory, measured in the same run. The open must stay linear in the file's size.
//
//   PaddingBench [MB...]        (default: 100 400; each size with zeros, the first also with garbage)
//
// Last line, for scripts (the worst case over all files, the padding's share of each):
//   RESULT name=padding seconds_per_100mb=.. goal=1 read_seconds_per_100mb=.. ratio=..
#include "OggDataLib.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TDSOggStream.h"
#include "TMemoryStream.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

template <typename F>
double Seconds(F&& f)
{
    const Clock::time_point start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The piece, then mb megabytes of zeros or of random bytes.
std::string PaddedFile(const std::vector<uint8_t>& piece, int mb, bool garbage)
{
    const std::string path = fixture::TempDir() + "/padded-" + std::to_string(mb) + (garbage ? "-garbage" : "-zeros") + ".ogg";
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(piece.data()), static_cast<std::streamsize>(piece.size()));
    std::vector<char> chunk(1 << 20, 0);
    std::mt19937 rng(11);
    for (int i = 0; i < mb; ++i) {
        if (garbage)
            for (char& c : chunk)
                c = static_cast<char>(rng());
        f.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    return path;
}

}

int main(int argc, char** argv)
{
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i)
        sizes.push_back(std::max(1, std::atoi(argv[i])));
    if (sizes.empty())
        sizes = {100, 400};

    _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll");
    const std::vector<uint8_t> piece = fixture::Encode(fixture::Sine(3.0), {"TITLE=padded"}, 0.2f);

    struct Case {
        int mb;
        bool garbage;
    };
    std::vector<Case> cases;
    for (int mb : sizes)
        cases.push_back({mb, false});
    cases.push_back({sizes.front(), true});

    double worst = 0.0;
    double worstRead = 0.0;
    for (const Case& c : cases) {
        const std::string path = PaddedFile(piece, c.mb, c.garbage);
        TMemoryStream image;
        // Read once beforehand, so that every timing below finds the file in the page cache.
        image.LoadFromFile(path);
        const double read = Seconds([&] { image.LoadFromFile(path); });
        float total = 0.0f;
        const double load = Seconds([&] {
            TOggData data(OutputFormat::StreamBufferBytes);
            data.LoadOgg(path);
            total = data.TotalTime;
        });
        std::string title;
        const double lookup = Seconds([&] {
            TDSOggStream stream;
            title = stream.GetTitle(path);
        });
        const double per100 = std::max(load, lookup) * 100.0 / c.mb;
        const double read100 = read * 100.0 / c.mb;
        worst = std::max(worst, per100);
        worstRead = std::max(worstRead, read100);
        std::printf("%4d MB of %-7s load %.3f s (%.1f s of sound), title \"%s\" %.3f s, reading it %.3f s: "
                    "%.3f s per 100 MB, %.2f x the read\n",
                    c.mb, c.garbage ? "garbage" : "zeros", load, static_cast<double>(total), title.c_str(), lookup, read,
                    per100, read > 0 ? std::max(load, lookup) / read : 0.0);
        std::filesystem::remove(path);
    }
    std::printf("RESULT name=padding seconds_per_100mb=%.3f goal=1 read_seconds_per_100mb=%.3f ratio=%.2f\n", worst,
                worstRead, worstRead > 0 ? worst / worstRead : 0.0);
    _VorbisfileFinalize();
    return 0;
}
