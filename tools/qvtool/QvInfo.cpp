// qvtool info FILE: the stream information, the loop table (each entry also as the frames playback
// jumps at and to) and the comments of a file, as "key: value" lines.
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
        std::printf("loop %d frames: %s %s\n", i, Frame(fit.StartFrame(l.LoopStart)).c_str(),
                    Frame(fit.EndFrame(l.LoopEnd)).c_str());
    }
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
