// qvtool info FILE: the stream information, the loop table and the comments of a file, as
// "key: value" lines.
#include "QvCommand.h"

#include "OggDataLib.h"

#include <cstdio>
#include <cstring>

namespace {

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
    for (int i = 0; i < 16; ++i) {
        const TOggLoop& l = data.Loops[i];
        static const TOggLoop zero{};
        if (std::memcmp(&l, &zero, sizeof l) == 0)
            continue;
        std::printf("loop %d: %.6f %.6f %d\n", i, static_cast<double>(l.LoopStart), static_cast<double>(l.LoopEnd),
                    l.RepeatCount);
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
