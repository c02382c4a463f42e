// qvtool export IN.qv OUT.ogg [--entry K] [--force]: writes a container's Ogg stream as a plain
// Ogg Vorbis file whose comments carry the loop of entry K as LOOPSTART and LOOPLENGTH, in frames
// at the stream's own rate, for players and tools that read such tags. The sound is not touched.
#include "QvCommand.h"

#include "LoopFit.h"
#include "LoopTags.h"
#include "OggCommentEdit.h"
#include "OggDataLib.h"

#include <cstdio>
#include <stdexcept>

namespace {

int Failed(const std::string& what, const std::string& why)
{
    std::fprintf(stderr, "%s: %s\n", what.c_str(), why.c_str());
    return QvFailed;
}

int QvExport(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    int entry = 0;
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--force") {
            force = true;
        } else if (a == "--entry") {
            const std::string k = i + 1 < args.size() ? args[++i] : "";
            if (k.empty() || k.size() > 2 || k.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(k) > 15) {
                std::fprintf(stderr, "--entry wants an entry number from 0 to 15\n");
                return QvUsage;
            }
            entry = std::stoi(k);
        } else if (!QvTakeOperand(a, files)) {
            return QvUsage;
        }
    }
    if (files.size() != 2)
        return QvUsage;
    const std::string& in = files[0];
    const std::string& out = files[1];
    if (!QvMayWrite(out, {in}, force))
        return QvFailed;

    TOggData data(0);
    if (!QvOpen(data, in))
        return QvFailed;
    const TOggLoop& loop = data.Loops[entry];
    if (loop.RepeatCount == 0 || loop.RepeatCount < -1)
        return Failed(in, "entry " + std::to_string(entry) + " holds no loop");
    const TLoopFit fit(data.Rate, data.PcmBytes / OutputFormat::BytesPerFrame);
    // A loop a plain file's tags gave is played at its very frames.
    const bool byFrames = data.ByFrames(entry);
    const int64_t start = byFrames ? data.LoopFrames[entry].Start : fit.StartFrame(loop.LoopStart);
    const int64_t end = byFrames ? data.LoopFrames[entry].End : fit.EndFrame(loop.LoopEnd);
    if (start < 0 || end < 0 || start >= end)
        return Failed(in, "entry " + std::to_string(entry) + " is no loop within the piece (it would play from " +
                              (start < 0 ? std::string("nowhere") : std::to_string(start)) + " to " +
                              (end < 0 ? std::string("nowhere") : std::to_string(end)) + ")");

    const uint8_t* file = data.FileData->Memory();
    std::vector<uint8_t> bytes;
    try {
        const TOggCommentEdit edit(std::vector<uint8_t>(file + data.DataStart, file + data.FileData->Size()));
        std::vector<std::string> comments;
        for (const auto& c : edit.Comments())
            if (!TLoopTags::IsLoopTag(c))
                comments.push_back(c);
        comments.push_back("LOOPSTART=" + std::to_string(start));
        comments.push_back("LOOPLENGTH=" + std::to_string(end - start));
        bytes = edit.With(comments);
    } catch (const std::runtime_error& e) {
        return Failed(in, e.what());
    }
    if (!QvSave(out, {}, bytes, force))
        return QvFailed;
    std::printf("%s -> %s: LOOPSTART=%lld LOOPLENGTH=%lld (entry %d)\n", in.c_str(), out.c_str(),
                static_cast<long long>(start), static_cast<long long>(end - start), entry);
    return QvOk;
}

QvRegistrar registrar{"export", "export IN.qv OUT.ogg [--entry K] [--force]", QvExport};

}
