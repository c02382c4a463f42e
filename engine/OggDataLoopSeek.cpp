// TOggData: the passes of a looped piece and steps along it as it is heard, loops unrolled.
// The loop step that makes the jumps is in OggDataRender.cpp.
#include "OggDataLib.h"
#include "LoopTime.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

namespace {
// A loop shorter than this is not followed by a step: it would take a step's whole length in
// jumps and lead nowhere (the loop step too passes over a loop of no length).
constexpr double kShortestLoop = 0.0005;
// Jumps one step may make at most, whatever the table holds: five seconds of 10 ms loops is 500.
constexpr int kMaxStepJumps = 1'000'000;
}

int64_t TOggData::LoopJumps()
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    return History.Jumps();
}

int64_t TOggData::LoopPasses()
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    return History.Passes();
}

bool TOggData::CountsAsPass(int32_t entry)
{
    if (entry < 0 || entry > 15)
        return false;
    if (Loops[entry].RepeatCount == -1)
        return true;
    // Finite repeats are the piece's own when an endless loop follows them.
    return !EndlessLoop();
}

bool TOggData::EndlessLoop()
{
    for (int32_t i = 0; i < 16; ++i)
        if (Loops[i].RepeatCount == -1 && (ByFrames(i) || LoopTime::EndInStream(Loops[i].LoopEnd, TotalTime)))
            return true;
    return false;
}

TLoopHistory::TCounters TOggData::Counters()
{
    TLoopHistory::TCounters c{};
    for (size_t i = 0; i < c.size(); ++i)
        c[i] = LoopCounter[i].load();
    return c;
}

TOggData::TStep TOggData::StepListening(double from, int64_t jumpsHeard, double seconds, double& landed)
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    landed = from;
    if (!Loaded.load() || !std::isfinite(from) || !std::isfinite(seconds))
        return TStep::Refused;
    // Worked out on copies: a step that leaves the piece changes nothing.
    TLoopHistory history = History;
    TLoopHistory::TCounters counters = Counters();
    UndoUnheard(jumpsHeard, history, counters);

    double t = std::max(from, 0.0);
    if (seconds < 0.0) {
        double back = -seconds;
        // Back across each jump into the pass before it, as long as the step reaches.
        while (const TLoopHistory::TJump* jump = history.Last()) {
            if (t - back >= jump->To)
                break;
            back -= std::max(t - jump->To, 0.0);
            t = jump->From;
            counters = jump->Before;
            history.Pop();
        }
        t -= back;
        // A step back to the start from a time read a moment before may miss it by a rounding.
        if (t < 0.0 && t > -0.001)
            t = 0.0;
        if (t < 0.0)
            return TStep::BeforeStart;
    } else {
        struct TEntry {
            bool used = false;
            double start = 0.0;
            double end = 0.0;
        };
        TEntry entries[16];
        for (int32_t i = 0; i < 16; ++i)
            entries[i].used = LoopSpan(i, entries[i].start, entries[i].end);
        double ahead = seconds;
        for (int jumps = 0; jumps < kMaxStepJumps; ++jumps) {
            // The loop end met first within the step, of an entry with jumps left.
            int32_t due = -1;
            for (int32_t i = 0; i < 16; ++i) {
                const TEntry& x = entries[i];
                const bool left = Loops[i].RepeatCount == -1 || Loops[i].RepeatCount > counters[static_cast<size_t>(i)];
                if (x.used && left && x.end >= t && x.end <= t + ahead && (due < 0 || x.end < entries[due].end))
                    due = i;
            }
            const double to = due < 0 ? t + ahead : entries[due].end;
            // Loop ends passed on the way are armed again, as the loop step arms them.
            for (int32_t i = 0; i < 16; ++i)
                if (entries[i].used && entries[i].end < to && i != due)
                    counters[static_cast<size_t>(i)] = 0;
            if (due < 0) {
                t = to;
                break;
            }
            ahead -= to - t;
            TLoopHistory::TJump jump;
            jump.Entry = due;
            jump.From = entries[due].end;
            jump.To = entries[due].start;
            jump.Before = counters;
            jump.Pass = CountsAsPass(due);
            history.Add(jump);
            if (Loops[due].RepeatCount != -1)
                ++counters[static_cast<size_t>(due)];
            t = entries[due].start;
        }
    }
    // Also back: a piece whose length is not known (0) has nowhere to go.
    if (t > TotalTime)
        return TStep::PastEnd;

    History = std::move(history);
    for (size_t i = 0; i < counters.size(); ++i)
        LoopCounter[i].store(counters[i]);
    landed = t;
    seekKeepsHistory_ = true;
    TimeSeek(static_cast<float>(t));
    seekKeepsHistory_ = false;
    return TStep::Landed;
}

void TOggData::UndoUnheard(int64_t jumpsHeard, TLoopHistory& history, TLoopHistory::TCounters& counters)
{
    // Jumps rendered but not yet heard are undone: the listener is before them.
    while (history.Jumps() > std::max<int64_t>(jumpsHeard, 0) && history.Last() != nullptr) {
        counters = history.Last()->Before;
        history.Pop();
    }
}

bool TOggData::LoopSpan(int32_t i, double& start, double& end)
{
    const TOggLoop& e = Loops[i];
    if (e.RepeatCount != -1 && e.RepeatCount <= 0)
        return false;
    if (ByFrames(i)) {
        const int32_t rate = Rate > 0 ? Rate : OutputFormat::Rate;
        start = static_cast<double>(LoopFrames[i].Start) / rate;
        end = static_cast<double>(LoopFrames[i].End) / rate;
    } else {
        if (!LoopTime::EndInStream(e.LoopEnd, TotalTime))
            return false;
        start = e.LoopStart;
        end = e.LoopEnd;
    }
    return std::isfinite(start) && std::isfinite(end) && start >= 0.0 && end >= 0.0 &&
           std::fabs(end - start) >= kShortestLoop;
}

TOggData::TStep TOggData::PlaceListening(double from, int64_t jumpsHeard, double to, double& landed)
{
    std::lock_guard<std::recursive_mutex> lock(RenderLock);
    landed = from;
    if (!Loaded.load() || !std::isfinite(to) || !std::isfinite(from))
        return TStep::Refused;
    if (to < 0.0 || to > TotalTime)
        return to < 0.0 ? TStep::BeforeStart : TStep::PastEnd;
    TLoopHistory history = History;
    TLoopHistory::TCounters counters = Counters();
    UndoUnheard(jumpsHeard, history, counters);
    for (int32_t i = 0; i < 16; ++i) {
        double start = 0.0;
        double end = 0.0;
        const bool left = Loops[i].RepeatCount == -1 || Loops[i].RepeatCount > counters[static_cast<size_t>(i)];
        if (left && LoopSpan(i, start, end) && start < end && from <= end && to > end)
            return TStep::Refused;
    }
    // The jumps made stay counted; a place is no jump of the loop.
    History = std::move(history);
    for (size_t i = 0; i < counters.size(); ++i)
        LoopCounter[i].store(counters[i]);
    landed = to;
    TimeSeek(static_cast<float>(to));
    return TStep::Landed;
}
