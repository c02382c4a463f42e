// qvtool info FILE: the stream information, the loop table (each entry also as the frames playback
// jumps at and to; for a plain file, the loop tags it came from, how their values were read and
// an end moved to the last frame) and the comments of a file, as "key: value" lines.
#include "QvCommand.h"

#include "LoopFit.h"
#include "OggDataLib.h"

#include <cstdio>
#include <cstring>

namespace {

// A frame number, or "none" for a time that names no frame.
std::string Frame(int64_t frame)
{
    return frame < 0 ? "none" : std::to_string(frame);
}

int QvInfo(const std::vector<std::string>& args)
{
    if (args.size() != 1)
        return QvUsage;
    TOggData data(0);
    if (!QvOpen(data, args[0]))
        return QvFailed;
    std::printf("channels: %d\n", data.Channels);
    std::printf("rate: %d\n", data.Rate);
    std::printf("total_time: %.6f\n", static_cast<double>(data.TotalTime));
    std::printf("pcm_bytes: %lld\n", static_cast<long long>(data.PcmBytes));
    std::printf("vendor: %s\n", data.Vendor.c_str());
    std::printf("data_start: %lld\n", static_cast<long long>(data.DataStart));
    std::printf("seekable: %d\n", data.SeekAble() ? 1 : 0);
    const TLoopFit fit(data.Rate, data.PcmBytes / OutputFormat::BytesPerFrame);
    for (int i = 0; i < 16; ++i) {
        const TOggLoop& l = data.Loops[i];
        static const TOggLoop zero{};
        if (std::memcmp(&l, &zero, sizeof l) == 0)
            continue;
        std::printf("loop %d: %.6f %.6f %d\n", i, static_cast<double>(l.LoopStart), static_cast<double>(l.LoopEnd),
                    l.RepeatCount);
        // The same points as the frames playback jumps at and to, at the stream's own rate.
        const bool byFrames = data.ByFrames(i);
        std::printf("loop %d frames: %s %s\n", i,
                    Frame(byFrames ? data.LoopFrames[i].Start : fit.StartFrame(l.LoopStart)).c_str(),
                    Frame(byFrames ? data.LoopFrames[i].End : fit.EndFrame(l.LoopEnd)).c_str());
    }
    // Where a plain file's loop came from, or why its tags give none.
    if (data.LoopTags.Result == TTaggedLoop::Found) {
        std::printf("loop tags: %s, played as entry 0\n", data.LoopTags.Form.c_str());
        std::printf("loop tags read: %s\n", data.LoopTags.Reading.c_str());
        if (!data.LoopTags.Warning.empty())
            std::printf("loop tags warning: %s\n", data.LoopTags.Warning.c_str());
    } else if (data.LoopTags.Result == TTaggedLoop::Bad)
        std::printf("loop tags: refused: %s; played straight through\n", data.LoopTags.Message.c_str());
    for (const auto& line : data.CommentList->Lines()) {
        // The bytes as stored, whatever they are.
        std::fputs("comment: ", stdout);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    return QvOk;
}

QvRegistrar registrar{"info", "info FILE", QvInfo};

}
