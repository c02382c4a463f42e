// Writes the short pieces the end-to-end tests play: DIR/first.ogg (3 s, titled "First") and
// DIR/second.ogg (2 s, titled "Second"), tones that are easy to tell apart, DIR/rate48k.ogg
// (2 s at 48000 Hz, "Rate48k"), DIR/mono22k.ogg (1.5 s of one channel at 22050 Hz, "Mono22k") and
// DIR/long.ogg (20 s, "Long"), DIR/half1.ogg and DIR/half2.ogg (the halves of one tone);
// and pieces of noise looped by their tags from 0.5 s to 2 s, as other tools tag them:
// DIR/upper.ogg (LOOPSTART/LOOPLENGTH), DIR/lower.ogg (in lower case), DIR/mixed.ogg (LoopStart
// with LOOP_END), DIR/tagged48k.ogg (at 48000 Hz), DIR/hyphens.ogg (LOOP-START/LOOP-LENGTH) and
// DIR/times.ogg (times, one with hours and one in seconds).
#include "OggFixture.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace {
bool Write(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

// One 6 s tone cut in two at a frame inside a second: DIR/half1.ogg ("Half1") and DIR/half2.ogg
// ("Half2"), which played in a row make the tone again.
bool WriteHalves(const std::string& dir)
{
    const fixture::Pcm tone = fixture::Sine(6.0, {440.0, 555.0});
    const size_t cut = static_cast<size_t>(2 * 44100 + 12345) * 2;
    fixture::Pcm first = tone;
    fixture::Pcm second = tone;
    first.samples.resize(cut);
    second.samples.erase(second.samples.begin(), second.samples.begin() + static_cast<std::ptrdiff_t>(cut));
    return Write(dir + "/half1.ogg", fixture::Encode(first, {"TITLE=Half1"}, 0.4f)) &&
           Write(dir + "/half2.ogg", fixture::Encode(second, {"TITLE=Half2"}, 0.4f));
}
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_e2e_files DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const bool ok = Write(dir + "/first.ogg", fixture::Encode(fixture::Sine(3.0, {440.0, 660.0}), {"TITLE=First"}, 0.4f)) &&
                    Write(dir + "/second.ogg", fixture::Encode(fixture::Sine(2.0, {523.25, 784.0}), {"TITLE=Second"}, 0.4f)) &&
                    Write(dir + "/rate48k.ogg",
                          fixture::Encode(fixture::Sine(2.0, {330.0, 495.0}, 2, 48000), {"TITLE=Rate48k"}, 0.4f)) &&
                    Write(dir + "/mono22k.ogg",
                          fixture::Encode(fixture::Sine(1.5, {587.0}, 1, 22050), {"TITLE=Mono22k"}, 0.4f)) &&
                    Write(dir + "/long.ogg", fixture::Encode(fixture::Sine(20.0, {392.0, 588.0}), {"TITLE=Long"}, 0.4f)) &&
                    WriteHalves(dir);
    struct Tagged {
        const char* name;
        int rate;
        std::vector<std::string> comments;
    };
    bool tagged = true;
    for (const auto& t : std::vector<Tagged>{
             {"upper", 44100, {"TITLE=Upper", "LOOPSTART=22050", "LOOPLENGTH=66150"}},
             {"lower", 44100, {"TITLE=Lower", "loopstart=22050", "looplength=66150"}},
             {"mixed", 44100, {"TITLE=Mixed", "LoopStart=22050", "LOOP_END=88200"}},
             {"tagged48k", 48000, {"TITLE=Tagged48k", "LOOP_START=24000", "LoopLength=72000"}},
             {"hyphens", 44100, {"TITLE=Hyphens", "LOOP-START=22050", "LOOP-LENGTH=66150"}},
             {"times", 44100, {"TITLE=Times", "LOOP_START=00:00:00.5", "LOOP_END=2.000"}},
         })
        tagged = tagged && Write(dir + "/" + t.name + ".ogg",
                                 fixture::Encode(fixture::Noise(2.5, 2, t.rate), t.comments, 0.4f));
    if (!ok || !tagged) {
        std::fprintf(stderr, "make_e2e_files: cannot write into %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
