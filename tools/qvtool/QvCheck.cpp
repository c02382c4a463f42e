// qvtool check IN.qv: the join of every active loop entry, scored on what playback renders there,
// and whether it is heard (exit status 1 when one is, or when an entry can never jump).
#include "QvCommand.h"

#include "LoopJoin.h"

#include <cstdio>

namespace {

int QvCheck(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return QvUsage;
    const std::string& in = args[0];
    if (!QvReadable(in))
        return QvFailed;
    const TLoopJoin join(in);
    if (!join.Container()) {
        std::fprintf(stderr, "%s: a plain Ogg Vorbis file, not a looped-Ogg container: it has no loop entries\n",
                     in.c_str());
        return QvFailed;
    }
    const double rate = join.Rate();
    int active = 0, faulty = 0;
    for (int i = 0; i < 16; ++i) {
        const TOggLoop& l = join.Loops()[i];
        // The entries playback takes: endless, or a number of times.
        if (l.RepeatCount != -1 && l.RepeatCount <= 0)
            continue;
        ++active;
        const TLoopJoin::TScore s = join.Score(l);
        std::printf("entry %d: %.6f s (frame %lld) -> %.6f s (frame %lld), count %d: ", i,
                    static_cast<double>(l.LoopEnd), static_cast<long long>(s.EndFrame),
                    static_cast<double>(l.LoopStart), static_cast<long long>(s.StartFrame), l.RepeatCount);
        if (s.StartFrame < 0 || s.EndFrame < 0 || s.StartFrame >= join.TotalFrames()) {
            std::printf("never jumps (a time outside the piece's %.3f s)\n", static_cast<double>(join.TotalFrames()) / rate);
            ++faulty;
        } else if (!s.Judged) {
            std::printf("not judged: no sound beyond either side of the join to compare with\n");
        } else {
            std::printf("join %.1f dB, %s\n", s.Db, s.Seamless() ? "seamless" : "audible");
            faulty += s.Seamless() ? 0 : 1;
        }
    }
    if (active == 0) {
        std::fprintf(stderr, "%s: no active loop entry (every count is 0)\n", in.c_str());
        return QvFailed;
    }
    std::printf("%d %s checked, %d audible or broken (audible above %.1f dB)\n", active,
                active == 1 ? "entry" : "entries", faulty, TLoopJoin::AudibleDb);
    return faulty == 0 ? QvOk : QvFailed;
}

QvRegistrar registrar{"check", "check IN.qv", QvCheck};

}
