// qvtool check IN: the join of every active loop entry of a container or a loop-tagged file,
// scored on what playback renders there and on the music that follows it, and whether it is heard
// (exit status 1 when one is, or when an entry can never jump).
#include "QvCommand.h"

#include "LoopJoin.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

int QvCheck(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return QvUsage;
    const std::string& in = args[0];
    if (!QvReadable(in))
        return QvFailed;
    const TLoopJoin join(in);
    // A plain file is checked by the loop its tags give, as the player plays it: the tags and how
    // they were read are named, and an end moved to the last frame, or why they were refused.
    if (!join.Container()) {
        TOggData data(0);
        if (!QvOpen(data, in))
            return QvFailed;
        const TTaggedLoop& tags = data.LoopTags;
        if (tags.Result == TTaggedLoop::Bad) {
            std::fprintf(stderr, "%s: loop tags refused: %s\n", in.c_str(), tags.Message.c_str());
            return QvFailed;
        }
        static const TOggLoop zero{};
        if (tags.Result == TTaggedLoop::None || std::memcmp(&join.Loops()[0], &zero, sizeof zero) == 0) {
            std::fprintf(stderr, "%s: a plain Ogg Vorbis file without loop tags: it has no loop entries\n", in.c_str());
            return QvFailed;
        }
        std::printf("loop from tags %s\n", tags.Reading.c_str());
        if (!tags.Warning.empty())
            std::printf("warning: %s\n", tags.Warning.c_str());
    }
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
        if (s.NeverJumps) {
            std::printf("broken: never jumps (%s)\n", s.Why.c_str());
            ++faulty;
        } else if (!s.Judged) {
            std::printf("not judged: %s\n", s.Why.c_str());
        } else {
            if (s.AtEnd) {
                // The loop ends at the file's end: nothing plays after it to compare with, so
                // the join is judged by how it goes on.
                std::printf("ends at the file's end; the join %s the music (a click %+.1f dB, a change of "
                            "spectrum %+.1f dB beyond the music's own)",
                            s.Continues ? "continues" : "breaks", s.ClickDb, s.StepDb);
                if (s.SoundSeconds > 0.0)
                    std::printf(", the music before it %.1f dB from that before the start", s.MusicDb);
            } else {
                std::printf("join %.1f dB, music after it %.1f dB over %.1f s of sound", s.JoinDb, s.MusicDb,
                            s.SoundSeconds);
            }
            if (s.Off) {
                const auto frames = std::lround(std::abs(s.LateFrames));
                std::printf(", off by %ld frame%s: the end is %s (move the end %ld frame%s %s, or the start as "
                            "much %s)",
                            frames, frames == 1 ? "" : "s", s.LateFrames > 0 ? "late" : "early", frames,
                            frames == 1 ? "" : "s", s.LateFrames > 0 ? "earlier" : "later",
                            s.LateFrames > 0 ? "later" : "earlier");
            }
            std::printf(": %s\n", s.Seamless() ? "seamless" : "audible");
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

QvRegistrar registrar{"check", "check IN", QvCheck};

}
