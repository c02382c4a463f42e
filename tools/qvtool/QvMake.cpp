// qvtool make IN OUT [--loop START:END:COUNT]... [--force]: writes IN as a looped-Ogg container.
// START and END are seconds, or frames of the stream's own rate with a trailing f (44100f); a
// frame becomes the time that lands playback on it, as import chooses it.
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

// One end of a loop as given: seconds, or a frame.
struct TPointArg {
    float Seconds = 0.0f;
    int64_t Frame = -1;  // -1: given in seconds
};

struct TLoopArg {
    TPointArg Start, End;
    int32_t Count = 0;
};

// "12.5" (seconds) or "551250f" (a frame).
bool ParsePoint(const std::string& text, TPointArg& out)
{
    if (text.size() > 1 && text.back() == 'f') {
        const std::string digits = text.substr(0, text.size() - 1);
        // No stream holds 2^53 frames; 16 digits keep clear of any overflow.
        if (digits.size() > 16 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        out.Frame = std::stoll(digits);
        return true;
    }
    return QvParseFloat(text, out.Seconds);
}

// START:END:COUNT, e.g. "10.5:20:-1" or "44100f:220500f:-1".
bool ParseLoop(const std::string& text, TLoopArg& out)
{
    size_t a = text.find(':');
    size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos || text.find(':', b + 1) != std::string::npos)
        return false;
    return ParsePoint(text.substr(0, a), out.Start) && ParsePoint(text.substr(a + 1, b - a - 1), out.End) &&
           ParseInt32(text.substr(b + 1), out.Count);
}

// The entry a loop given makes in this piece: frames become the times that land on them. Says on
// stderr, and returns false, for a frame outside the piece; notes a frame no time lands on exactly.
bool ToEntry(const std::string& in, size_t k, const TLoopArg& arg, const TLoopFit& fit, int64_t total, TOggLoop& out)
{
    out = TOggLoop{arg.Start.Seconds, arg.End.Seconds, arg.Count};
    for (const bool isStart : {true, false}) {
        const TPointArg& p = isStart ? arg.Start : arg.End;
        if (p.Frame < 0)
            continue;
        const char* what = isStart ? "start" : "end";
        // A start is a frame played, an end the first frame not played: the end may be the last.
        if (total <= 0 || p.Frame > total || (isStart && p.Frame == total)) {
            std::fprintf(stderr, "%s: entry %zu: the %s frame %lld lies outside the piece (%lld frames)\n", in.c_str(),
                         k, what, static_cast<long long>(p.Frame), static_cast<long long>(total));
            return false;
        }
        const TLoopFit::TPoint point = isStart ? fit.Start(p.Frame) : fit.End(p.Frame);
        if (point.FirstError > 0)
            std::fprintf(stderr, "%s: entry %zu: no 32-bit time lands exactly on %s frame %lld; the nearest misses it by "
                         "%lld frame(s)\n", in.c_str(), k, what, static_cast<long long>(p.Frame),
                         static_cast<long long>(point.FirstError));
        (isStart ? out.LoopStart : out.LoopEnd) = point.Time;
    }
    return true;
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
    std::vector<TLoopArg> given;
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--loop") {
            TLoopArg l{};
            if (i + 1 >= args.size() || !ParseLoop(args[i + 1], l)) {
                std::fprintf(stderr, "--loop wants START:END:COUNT, in seconds or in frames with f (44100f)\n");
                return QvUsage;
            }
            given.push_back(l);
            ++i;
        } else if (args[i] == "--force") {
            force = true;
        } else if (!QvTakeOperand(args[i], files)) {
            return QvUsage;
        }
    }
    if (files.size() != 2)
        return QvUsage;
    if (given.size() > 16) {
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
    if (!given.empty()) {
        const int64_t total = data.PcmBytes / OutputFormat::BytesPerFrame;
        const TLoopFit fit(data.Rate, total);
        std::vector<TOggLoop> loops(given.size());
        int bad = 0;
        for (size_t k = 0; k < loops.size(); ++k) {
            if (!ToEntry(in, k, given[k], fit, total, loops[k])) {
                ++bad;
                continue;
            }
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

QvRegistrar registrar{"make",
                      "make IN OUT [--loop START:END:COUNT]... [--force]\n"
                      "                START and END in seconds (12.5), or in frames with f (551250f)",
                      QvMake};

}
