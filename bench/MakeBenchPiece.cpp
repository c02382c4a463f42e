// Writes a piece for the whole-program measurements: chords under a little noise, encoded at a
// high quality so that a few minutes make a file of several megabytes, as real music would.
//   MakeBenchPiece OUT.ogg SECONDS [QUALITY]
#include "OggFixture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: MakeBenchPiece OUT.ogg SECONDS [QUALITY]\n");
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    const float quality = argc > 3 ? static_cast<float>(std::atof(argv[3])) : 0.9f;
    fixture::Pcm pcm = fixture::Sine(seconds, {220.0, 277.18}, 2, 44100, 0.35);
    const fixture::Pcm upper = fixture::Sine(seconds, {329.63, 440.0}, 2, 44100, 0.2);
    const fixture::Pcm noise = fixture::Noise(seconds, 2, 44100, 0.12, 7);
    for (size_t i = 0; i < pcm.samples.size(); ++i)
        pcm.samples[i] += upper.samples[i] + noise.samples[i];
    const std::vector<uint8_t> bytes = fixture::Encode(pcm, {"TITLE=Bench piece"}, quality);
    std::ofstream f(argv[1], std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%s: %.1f s, %zu bytes\n", argv[1], seconds, bytes.size());
    return 0;
}
