// qvtool export IN.qv OUT.ogg [--entry K] [--tags sdl|zmusic|vgmstream] [--force]: writes a
// container's Ogg stream as a plain Ogg Vorbis file whose comments carry the loop of entry K, in
// frames at the stream's own rate, as the chosen family of players reads them. The sound is not
// touched.
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

// The two tags a family of players reads a loop from: a start, and a length or an end (the
// first frame not played), both in frames.
struct TTagForm {
    const char* name;
    const char* start;
    const char* second;
    bool length;  // the second tag is a length, else an end
};
// sdl: SDL_mixer, RPG Maker and vgmstream all read LOOPSTART with LOOPLENGTH, in upper case.
// zmusic: GZDoom's ZMusic reads LOOP_START with LOOP_END. vgmstream: the same tags as sdl, the
// pair it matches exactly, in either order (its LOOP_END is taken only after a start).
constexpr TTagForm kTagForms[] = {
    {"sdl", "LOOPSTART", "LOOPLENGTH", true},
    {"zmusic", "LOOP_START", "LOOP_END", false},
    {"vgmstream", "LOOPSTART", "LOOPLENGTH", true},
};

int QvExport(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    int entry = 0;
    const TTagForm* form = &kTagForms[0];
    bool force = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--force") {
            force = true;
        } else if (a == "--tags") {
            const std::string name = i + 1 < args.size() ? args[++i] : "";
            form = nullptr;
            for (const auto& f : kTagForms)
                if (name == f.name)
                    form = &f;
            if (!form) {
                std::fprintf(stderr, "--tags wants sdl, zmusic or vgmstream\n");
                return QvUsage;
            }
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

    // What the tags cannot carry is said, not dropped unseen; the loop itself still goes out.
    if (loop.RepeatCount > 0)
        std::fprintf(stderr,
                     "%s: entry %d loops %d time%s in the container; loop tags carry no count, so players that "
                     "read them loop it endlessly\n",
                     in.c_str(), entry, loop.RepeatCount, loop.RepeatCount == 1 ? "" : "s");
    for (int k = 0; k < 16; ++k)
        if (k != entry && (data.Loops[k].RepeatCount == -1 || data.Loops[k].RepeatCount > 0))
            std::fprintf(stderr, "%s: entry %d is left out: loop tags carry one loop\n", in.c_str(), k);

    const std::string first = std::string(form->start) + "=" + std::to_string(start);
    const std::string second = std::string(form->second) + "=" + std::to_string(form->length ? end - start : end);
    const uint8_t* file = data.FileData->Memory();
    std::vector<uint8_t> bytes;
    try {
        const TOggCommentEdit edit(std::vector<uint8_t>(file + data.DataStart, file + data.FileData->Size()));
        std::vector<std::string> comments;
        for (const auto& c : edit.Comments())
            if (!TLoopTags::IsLoopTag(c))
                comments.push_back(c);
        comments.push_back(first);
        comments.push_back(second);
        bytes = edit.With(comments);
    } catch (const std::runtime_error& e) {
        return Failed(in, e.what());
    }
    if (!QvSave(out, {}, bytes, force))
        return QvFailed;
    std::printf("%s -> %s: %s %s (entry %d)\n", in.c_str(), out.c_str(), first.c_str(), second.c_str(), entry);
    return QvOk;
}

QvRegistrar registrar{"export",
                      "export IN.qv OUT.ogg [--entry K] [--tags sdl|zmusic|vgmstream] [--force]\n"
                      "                --tags sdl (default) and vgmstream: LOOPSTART/LOOPLENGTH; zmusic: "
                      "LOOP_START/LOOP_END",
                      QvExport};

}
