// qvtool make IN OUT [--loop START:END:COUNT]... [--force]: writes IN as a looped-Ogg container.
// A container given as IN keeps its table unless loops are given, which replace the whole table.
// Each loop given is checked against the piece, as export checks it, before anything is written.
#include "QvCommand.h"

#include "LoopFit.h"
#include "OggDataLib.h"
#include "QvWriter.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool ParseInt32(const std::string& text, int32_t& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

// START:END:COUNT, e.g. "10.5:20:-1".
bool ParseLoop(const std::string& text, TOggLoop& out)
{
    size_t a = text.find(':');
    size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos || text.find(':', b + 1) != std::string::npos)
        return false;
    return QvParseFloat(text.substr(0, a), out.LoopStart) &&
           QvParseFloat(text.substr(a + 1, b - a - 1), out.LoopEnd) && ParseInt32(text.substr(b + 1), out.RepeatCount);
}

std::string Seconds(float t)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g s", static_cast<double>(t));
    return buf;
}

// Why entry k cannot loop in this piece, as export would refuse it; "" when it can. The times
// are placed as playback places them (LoopFit), so an end that names no frame is caught too.
std::string EntryProblem(int k, const TOggLoop& l, const TLoopFit& fit, double totalSeconds)
{
    const std::string entry = "entry " + std::to_string(k) + " (" + Seconds(l.LoopStart) + " to " +
                              Seconds(l.LoopEnd) + ", count " + std::to_string(l.RepeatCount) + "): ";
    if (l.RepeatCount < -1)
        return entry + "the count " + std::to_string(l.RepeatCount) +
               " is below -1 (-1 loops for ever, 0 never, N that many times)";
    char piece[64];
    std::snprintf(piece, sizeof piece, "%.6f s", totalSeconds);
    const int64_t start = fit.StartFrame(l.LoopStart);
    const int64_t end = fit.EndFrame(l.LoopEnd);
    if (l.LoopStart < 0.0f || start < 0)
        return entry + "the start " + Seconds(l.LoopStart) + " lies outside the piece (0 to " + piece + ")";
    if (l.LoopEnd < 0.0f || end < 0)
        return entry + "the end " + Seconds(l.LoopEnd) + " lies outside the piece (0 to " + piece + ")";
    if (start >= end)
        return entry + "the start (frame " + std::to_string(start) + ") is not before the end (frame " +
               std::to_string(end) + ")";
    return {};
}

int QvMake(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    std::vector<TOggLoop> loops;
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--loop") {
            TOggLoop l{};
            if (i + 1 >= args.size() || !ParseLoop(args[i + 1], l)) {
                std::fprintf(stderr, "--loop wants START:END:COUNT\n");
                return QvUsage;
            }
            loops.push_back(l);
            ++i;
        } else if (args[i] == "--force") {
            force = true;
        } else if (!QvTakeOperand(args[i], files)) {
            return QvUsage;
        }
    }
    if (files.size() != 2)
        return QvUsage;
    if (loops.size() > 16) {
        std::fprintf(stderr, "a container holds at most 16 loops\n");
        return QvUsage;
    }
    const std::string& in = files[0];
    const std::string& out = files[1];
    if (!QvMayWrite(out, {in}, force))
        return QvFailed;
    TOggData data(0);
    if (!QvOpen(data, in))
        return QvFailed;
    if (!loops.empty()) {
        const TLoopFit fit(data.Rate, data.PcmBytes / OutputFormat::BytesPerFrame);
        int bad = 0;
        for (size_t k = 0; k < loops.size(); ++k) {
            // 0:0:0 holds a place: an entry left unused.
            static const TOggLoop unused{};
            if (std::memcmp(&loops[k], &unused, sizeof unused) == 0)
                continue;
            const std::string problem = EntryProblem(static_cast<int>(k), loops[k], fit, data.TotalTime);
            if (!problem.empty()) {
                std::fprintf(stderr, "%s: %s\n", in.c_str(), problem.c_str());
                ++bad;
            }
        }
        if (bad > 0)
            return QvFailed;
        for (auto& l : data.Loops)
            l = TOggLoop{0.0f, 0.0f, 0};
        for (size_t i = 0; i < loops.size(); ++i)
            data.Loops[i] = loops[i];
    }
    std::vector<TQvLoop> table;
    for (const TOggLoop& l : data.Loops)
        table.push_back({l.LoopStart, l.LoopEnd, l.RepeatCount});
    // The Ogg stream as loaded: a cut-off last page is left out, as playback leaves it out.
    const uint8_t* file = data.FileData->Memory();
    const std::vector<uint8_t> ogg(file + data.DataStart, file + data.FileData->Size());
    return QvSave(out, TQvWriter::Header(table), ogg, force) ? QvOk : QvFailed;
}

QvRegistrar registrar{"make", "make IN OUT [--loop START:END:COUNT]... [--force]", QvMake};

}
