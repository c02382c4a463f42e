// makedemo: writes the demo piece "デモ曲 ループの森" as a looped-Ogg container.
//
//   makedemo OUTPUT.qv
//
// An 8-second intro, then a 16-second section that loops for ever (entry 0, count -1).
#include "DemoPiece.h"
#include "DemoSynth.h"
#include "QvWriter.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: makedemo OUTPUT.qv\n");
        return 2;
    }
    try {
        const std::string path = argv[1];
        const TDemoPiece piece = TDemoPiece::Make();
        constexpr double Rate = TDemoSynth::Rate;
        const TQvLoop entry{static_cast<float>(piece.LoopStartFrame / Rate), static_cast<float>(piece.LoopEndFrame / Rate),
                            -1};
        const std::vector<uint8_t> ogg = TQvWriter::Encode(
            piece.Pcm, TDemoSynth::Rate, {"TITLE=デモ曲 ループの森", "ARTIST=OstraDivUvirar デモ", "ALBUM=OstraDivUvirar"},
            0.4f);

        const std::filesystem::path out(path);
        if (out.has_parent_path()) std::filesystem::create_directories(out.parent_path());
        if (!TQvWriter::Write(path, TQvWriter::Header({entry}), ogg)) {
            std::fprintf(stderr, "makedemo: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("makedemo: %s, %.1f s, %zu bytes, loop %.3f .. %.3f s (frames %lld .. %lld), gain %.3f\n",
                    path.c_str(), static_cast<double>(piece.Pcm.size() / 2) / Rate, ogg.size() + TQvWriter::HeaderSize,
                    entry.LoopStart, entry.LoopEnd, static_cast<long long>(piece.LoopStartFrame),
                    static_cast<long long>(piece.LoopEndFrame), piece.Gain);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "makedemo: %s\n", e.what());
        return 1;
    }
}
