// Writes the pieces the desktop-bus tests play, each 12 s of a tone of its own: DIR/forest.ogg
// (titled "森の歌", so the title's UTF-8 is seen on the bus, by two artists "Ａ" and "B" on the
// album "Woods"), DIR/other.ogg ("Other"),
// DIR/third.ogg ("Third") and DIR/handed.ogg ("Handed"); and for the starts that race for the
// player, DIR/race1.ogg .. DIR/race5.ogg ("Race 1" .. "Race 5"); and two looped containers of 6 s,
// DIR/endless.qv ("Endless", 1 s to 3 s for ever) and DIR/finite.qv ("Finite", the same twice).
#include "OggFixture.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_mpris_files DIR\n");
        return 2;
    }
    const struct {
        const char* name;
        const char* title;
        double freq;
    } pieces[] = {{"forest.ogg", "森の歌", 440.0}, {"other.ogg", "Other", 523.25},
                  {"third.ogg", "Third", 587.33}, {"handed.ogg", "Handed", 659.25},
                  {"race1.ogg", "Race 1", 330.0}, {"race2.ogg", "Race 2", 349.23},
                  {"race3.ogg", "Race 3", 392.0}, {"race4.ogg", "Race 4", 493.88},
                  {"race5.ogg", "Race 5", 698.46}};
    for (const auto& piece : pieces) {
        std::vector<std::string> comments{std::string("TITLE=") + piece.title};
        if (piece.freq == 440.0)
            comments.insert(comments.end(), {"ARTIST=Ａ", "album=Woods", "Artist=B"});
        const auto bytes = fixture::Encode(fixture::Sine(12.0, {piece.freq, piece.freq * 1.5}), comments, 0.4f);
        std::ofstream f(std::string(argv[1]) + "/" + piece.name, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!f) {
            std::fprintf(stderr, "make_mpris_files: cannot write %s into %s\n", piece.name, argv[1]);
            return 1;
        }
    }
    for (const auto& [name, title, count] : {std::tuple{"endless.qv", "Endless", -1}, std::tuple{"finite.qv", "Finite", 2}}) {
        std::vector<uint8_t> bytes = fixture::ContainerHeader({{1.0f, 3.0f, count}});
        const auto ogg = fixture::Encode(fixture::Sine(6.0, {392.0}), {std::string("TITLE=") + title}, 0.4f);
        bytes.insert(bytes.end(), ogg.begin(), ogg.end());
        std::ofstream f(std::string(argv[1]) + "/" + name, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!f) {
            std::fprintf(stderr, "make_mpris_files: cannot write %s into %s\n", name, argv[1]);
            return 1;
        }
    }
    return 0;
}
