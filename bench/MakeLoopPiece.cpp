// Writes a piece for the loop finder's measurement: an intro, then a section played twice and the
// start of a third time, encoded as music would be (quality 0.4, about 128 kbit/s).
//   MakeLoopPiece OUT.ogg SECONDS
#include "LoopPiece.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 3 || std::atof(argv[2]) < 10.0) {
        std::fprintf(stderr, "usage: MakeLoopPiece OUT.ogg SECONDS (10 or more)\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    const double intro = seconds / 9.0;
    // Intro, two passes, two seconds of a third.
    const auto section = static_cast<int64_t>((seconds - intro - 2.0) / 2.0 * 44100);
    const fixture::Pcm pcm = fixture::Piece(fixture::Kind::Tonal, intro, section, 2);
    const std::vector<uint8_t> bytes = fixture::Encode(pcm, {"TITLE=Loop piece"}, 0.4f);
    std::ofstream f(argv[1], std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %.1f s, section %lld frames, %zu bytes\n", argv[1], static_cast<double>(pcm.Frames()) / 44100,
                static_cast<long long>(section), bytes.size());
    return 0;
}
