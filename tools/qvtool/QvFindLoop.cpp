// qvtool find-loop IN [--min SECONDS] [--top N] [--write OUT.qv] [--force]: proposes seamless
// loops, best first: where the piece repeats itself, and loops that end where the file (or its
// music) ends and go on at a start the end continues into, as games store loop music. --write
// stores the best as entry 0 of a new container, looping for ever.
#include "QvCommand.h"

#include "LoopFit.h"
#include "LoopJoin.h"
#include "EndLoopSearch.h"
#include "LoopSearch.h"
#include "QvWriter.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr float kDefaultMinSeconds = 2.0f;
constexpr int kDefaultTop = 3;
constexpr int kMaxTop = 20;
// Seconds of sound over which the music after an offered loop's jump must go on as the piece
// does (or half a pass of a shorter loop, or to the end): a repeat that matches for a second
// and parts two seconds later is no loop.
constexpr double kMatchSeconds = 5.0;
// Candidates ending with the file that are judged.
constexpr size_t kEndCandidates = 8;

struct TProposal {
    TLoopSearch::TCandidate Found;
    TOggLoop Entry{};
    TLoopJoin::TScore Score;
    int64_t Missed = 0;  // frames by which the float times can miss the frames, at worst
    bool ToEnd = false;  // found as a loop to the end of the file (or of its music)
    double Alike = -1.0;  // how alike the bars before its start and its end are, for those
};

// How far from seamless a loop to the end is: the worse of its join's click and spectral step
// beyond the music's own, where its music before the end is not that before the start.
double EndMiss(const TLoopJoin::TScore& s)
{
    return s.Db <= TLoopJoin::AudibleDb ? s.Db : std::max(s.ClickDb, s.StepDb);
}

// The candidate in the stream's own frames, its loop times, and its join as playback renders it.
// On a converted stream the search's frames (at the output rate) map to source frames only to
// within a frame, so the ends either side are tried too and the best join is kept.
TProposal Propose(const TLoopJoin& join, const TLoopSearch::TCandidate& c)
{
    const double toSource = static_cast<double>(join.Rate()) / OutputFormat::Rate;
    const auto start = static_cast<int64_t>(std::llround(static_cast<double>(c.Start) * toSource));
    const auto length = static_cast<int64_t>(std::llround(static_cast<double>(c.Length) * toSource));
    const TLoopFit fit(join.Rate(), join.TotalFrames());
    const int reach = join.Rate() == OutputFormat::Rate ? 0 : 1;
    TProposal best;
    bool any = false;
    for (int d = -reach; d <= reach; ++d) {
        const int64_t end = std::min(start + length + d, join.TotalFrames());
        const TLoopFit::TPoint s = fit.Start(start);
        const TLoopFit::TPoint e = fit.End(end);
        TProposal p;
        p.Found = c;
        p.Entry = {s.Time, e.Time, -1};
        p.Missed = std::max(s.Error, e.Error);
        p.Score = join.Score(p.Entry);
        if (!p.Score.Judged)
            continue;
        // A seamless join before an audible one, then the lower score.
        const bool better =
            p.Score.Seamless() != best.Score.Seamless() ? p.Score.Seamless() : p.Score.Db < best.Score.Db;
        if (!any || better)
            best = p, any = true;
    }
    if (!any)
        best.Found = c;
    return best;
}

// The proposals in the order offered: as found (longest repeat first), except that a loop whose
// length is a whole multiple of another's comes after it. A piece that repeats every L frames
// also repeats every 2L, often over as long a stretch; the shortest period is the loop.
std::vector<TProposal> PeriodsFirst(std::vector<TProposal> found)
{
    auto multipleOf = [](const TProposal& a, const TProposal& b) {
        const int64_t la = a.Score.EndFrame - a.Score.StartFrame, lb = b.Score.EndFrame - b.Score.StartFrame;
        if (lb <= 0 || la < 2 * lb - 2)
            return false;
        const int64_t k = (la + lb / 2) / lb;
        // Each period of the multiple may be off by the frame the search allows.
        return std::llabs(la - k * lb) <= 2 * k;
    };
    std::vector<TProposal> ordered;
    while (!found.empty()) {
        auto next = std::find_if(found.begin(), found.end(), [&](const TProposal& p) {
            return std::none_of(found.begin(), found.end(),
                                [&](const TProposal& q) { return &p != &q && multipleOf(p, q); });
        });
        if (next == found.end())
            next = found.begin();
        ordered.push_back(*next);
        found.erase(next);
    }
    return ordered;
}

bool ParseTop(const std::string& text, int& out)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || errno != 0 || *end != '\0' || v < 1 || v > kMaxTop)
        return false;
    out = static_cast<int>(v);
    return true;
}

int QvFindLoop(const std::vector<std::string>& args)
{
    std::string in, out;
    float minSeconds = kDefaultMinSeconds;
    int top = kDefaultTop;
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--min") {
            if (!hasValue || !QvParseFloat(args[++i], minSeconds) || minSeconds < 0.1f || minSeconds > 86400.0f) {
                std::fprintf(stderr, "--min wants a length in seconds, from 0.1\n");
                return QvUsage;
            }
        } else if (a == "--top") {
            if (!hasValue || !ParseTop(args[++i], top)) {
                std::fprintf(stderr, "--top wants a whole number from 1 to %d\n", kMaxTop);
                return QvUsage;
            }
        } else if (a == "--write") {
            if (!hasValue || args[i + 1].empty()) {
                std::fprintf(stderr, "--write wants the name of the container to write\n");
                return QvUsage;
            }
            out = args[++i];
        } else if (a == "--force") {
            force = true;
        } else if (a.size() > 1 && a[0] == '-') {
            std::fprintf(stderr, "unknown option %s\n", a.c_str());
            return QvUsage;
        } else if (in.empty()) {
            in = a;
        } else {
            return QvUsage;
        }
    }
    if (in.empty())
        return QvUsage;
    // Refused before any work: a container already there is kept unless asked, the input always.
    if (!out.empty() && !QvMayWrite(out, {in}, force))
        return QvFailed;
    if (!QvReadable(in))
        return QvFailed;

    TLoopJoin join(in);
    join.SetMusicSeconds(kMatchSeconds);
    join.SetShiftSearch(false);
    const std::vector<int16_t> sound = join.RenderAll();
    const auto minFrames = static_cast<int64_t>(std::ceil(minSeconds * OutputFormat::Rate));
    TLoopSearch search(sound, OutputFormat::Rate, minFrames);
    search.SetMatchFrames(static_cast<int64_t>(kMatchSeconds * OutputFormat::Rate));
    // More than asked for: some may turn out audible once rendered.
    std::vector<TProposal> proposals;
    int audible = 0;
    TProposal bestAudible;
    for (const TLoopSearch::TCandidate& c : search.Find(static_cast<size_t>(top) * 2 + 2)) {
        // Once enough are found, only a shorter period of one of them can still come first.
        const bool divides = std::any_of(proposals.begin(), proposals.end(), [&](const TProposal& p) {
            const int64_t k = (p.Found.Length + c.Length / 2) / std::max<int64_t>(c.Length, 1);
            return k >= 2 && std::llabs(p.Found.Length - k * c.Length) <= 2 * k;
        });
        if (proposals.size() >= static_cast<size_t>(top) && !divides)
            continue;
        TProposal p = Propose(join, c);
        // A repeat is offered for its music repeating, not for a join that merely goes on
        // smoothly near the file's end.
        if (p.Score.Repeats()) {
            proposals.push_back(p);
        } else if (p.Score.Judged) {
            if (audible++ == 0 || p.Score.Db < bestAudible.Score.Db)
                bestAudible = p;
        }
    }
    proposals = PeriodsFirst(std::move(proposals));

    // Loops to the end of the file: those whose music before the end is the music before the
    // start first, then the longest whose join goes on smoothly.
    std::vector<TProposal> toEnd;
    int endAudible = 0;
    TProposal bestEndAudible;
    // Nothing plays after such an end: the music before it is compared over a second, as check
    // does, and the join by how it goes on.
    join.SetMusicSeconds(TLoopJoin::MusicSeconds);
    TEndLoopSearch ends(sound, minFrames);
    for (const TEndLoopSearch::TCandidate& c : ends.Find(kEndCandidates)) {
        const bool known = std::any_of(toEnd.begin(), toEnd.end(), [&](const TProposal& p) {
            return std::llabs(p.Found.Start - c.Start) <= 2 && std::llabs(p.Found.Start + p.Found.Length - c.End) <= 2;
        });
        if (known)
            continue;
        TLoopSearch::TCandidate lc;
        lc.Start = c.Start;
        lc.Length = c.End - c.Start;
        TProposal p = Propose(join, lc);
        p.ToEnd = true;
        p.Alike = c.Alike;
        if (p.Score.Seamless()) {
            toEnd.push_back(p);
        } else if (p.Score.Judged) {
            if (endAudible++ == 0 || EndMiss(p.Score) < EndMiss(bestEndAudible.Score))
                bestEndAudible = p;
        }
    }
    std::stable_sort(toEnd.begin(), toEnd.end(), [](const TProposal& a, const TProposal& b) {
        const bool ra = a.Score.Db <= TLoopJoin::AudibleDb, rb = b.Score.Db <= TLoopJoin::AudibleDb;
        if (ra != rb)
            return ra;
        if (ra)
            return a.Score.Db < b.Score.Db;
        // Of joins that merely go on smoothly, the longest loop first: a composer's loop to the
        // end of the file is most of the piece, a short one near the end is a bar that sounds
        // alike.
        return a.Score.EndFrame - a.Score.StartFrame > b.Score.EndFrame - b.Score.StartFrame;
    });
    // The two kinds in turn: a repeat inside the file is the surer sign, a loop to the end is
    // how games store theirs.
    std::vector<TProposal> offered;
    for (size_t k = 0; k < proposals.size() || k < toEnd.size(); ++k) {
        if (k < proposals.size())
            offered.push_back(proposals[k]);
        if (k < toEnd.size())
            offered.push_back(toEnd[k]);
    }
    if (offered.size() > static_cast<size_t>(top))
        offered.resize(static_cast<size_t>(top));
    proposals = std::move(offered);

    const double rate = join.Rate();
    std::printf("%s: %d Hz, %.3f s; seamless means the join and the music after it score at most %.1f dB\n",
                in.c_str(), join.Rate(), static_cast<double>(join.TotalFrames()) / rate, TLoopJoin::AudibleDb);
    if (proposals.empty()) {
        // Where the best candidates were and how far from seamless, so that a listener can
        // start from there.
        auto where = [&](const TProposal& p) {
            std::printf("frames %lld .. %lld (%.3f .. %.3f s)", static_cast<long long>(p.Score.StartFrame),
                        static_cast<long long>(p.Score.EndFrame), static_cast<double>(p.Score.StartFrame) / rate,
                        static_cast<double>(p.Score.EndFrame) / rate);
        };
        if (audible > 0) {
            std::printf("no seamless loop: the best repeat found is ");
            where(bestAudible);
            std::printf(", scoring %.1f dB (join %.1f dB, music after it %.1f dB)%s\n", bestAudible.Score.Db,
                        bestAudible.Score.JoinDb, bestAudible.Score.MusicDb,
                        bestAudible.Score.Off ? ", and its music lines up better shifted" : ", which is audible");
        }
        if (endAudible > 0) {
            std::printf("no seamless loop to the end: the best is ");
            where(bestEndAudible);
            std::printf(", its join a click %+.1f dB and a change of spectrum %+.1f dB beyond the music's own\n",
                        bestEndAudible.Score.ClickDb, bestEndAudible.Score.StepDb);
        }
        if (audible == 0 && endAudible == 0)
            std::printf("no repeat found of at least %.1f s\n", static_cast<double>(minSeconds));
        return QvFailed;
    }
    std::printf("%-3s %12s %10s %12s %10s %12s %10s %8s\n", "#", "start s", "frame", "end s", "frame", "length s",
                "frames", "score dB");
    for (size_t i = 0; i < proposals.size(); ++i) {
        const TProposal& p = proposals[i];
        const int64_t s = p.Score.StartFrame, e = p.Score.EndFrame;
        std::printf("%-3zu %12.6f %10lld %12.6f %10lld %12.6f %10lld %8.1f\n", i + 1,
                    static_cast<double>(p.Entry.LoopStart), static_cast<long long>(s),
                    static_cast<double>(p.Entry.LoopEnd), static_cast<long long>(e), static_cast<double>(e - s) / rate,
                    static_cast<long long>(e - s), p.ToEnd && p.Score.Db > TLoopJoin::AudibleDb ? EndMiss(p.Score) : p.Score.Db);
        if (p.ToEnd)
            std::printf("    (to the end of the %s: %s)\n", e >= join.TotalFrames() ? "file" : "music",
                        p.Score.Db <= TLoopJoin::AudibleDb ? "the music before it is the music before the start"
                                                           : "the end goes on into the start; scored as the join's "
                                                             "click beyond the music's own");
        if (p.Missed > 0)
            std::printf("    (the float times can miss these frames by up to %lld)\n", static_cast<long long>(p.Missed));
    }

    if (!out.empty()) {
        const TOggLoop& best = proposals.front().Entry;
        const std::vector<uint8_t> header = TQvWriter::Header({TQvLoop{best.LoopStart, best.LoopEnd, -1}});
        if (!QvSave(out, header, join.OggBytes(), force))
            return QvFailed;
        std::printf("wrote %s: entry 0 loops %.6f .. %.6f s for ever\n", out.c_str(), static_cast<double>(best.LoopStart),
                    static_cast<double>(best.LoopEnd));
    }
    return QvOk;
}

QvRegistrar registrar{"find-loop", "find-loop IN [--min SECONDS] [--top N] [--write OUT.qv] [--force]", QvFindLoop};

}
