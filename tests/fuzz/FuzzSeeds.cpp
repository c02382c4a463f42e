// Writes the seed corpora of the fuzz targets, one directory per target under the directory
// given: small Ogg files and containers made with our fixture writer, playlists, skin files,
// settings records and comment texts. Each seed is shaped like the input its target reads.
#include "BuildPaths.h"
#include "OggFixture.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {
namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

fs::path root;

void Put(const std::string& target, const std::string& name, const Bytes& bytes)
{
    const fs::path dir = root / target;
    fs::create_directories(dir);
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void PutText(const std::string& target, const std::string& name, const std::string& text)
{
    Put(target, name, Bytes(text.begin(), text.end()));
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Table(const Bytes& header)  // the 192 table bytes of a 200-byte header
{
    return Bytes(header.begin() + 8, header.end());
}

void OggSeeds()
{
    const Bytes stereo = fixture::Encode(fixture::Sine(0.6), {"TITLE=テスト", "ARTIST=a=b"}, 0.0f);
    const Bytes mono = fixture::Encode(fixture::Sine(0.4, {330.0}, 1), {}, 0.0f);
    const Bytes slow = fixture::Encode(fixture::Noise(0.3, 2, 22050), {}, 0.0f);
    const Bytes loops = fixture::ContainerHeader({{0.1f, 0.3f, -1}, {0.2f, 0.25f, 2}, {0.5f, 0.1f, 1}});

    Put("ogg", "stereo", Cat({{0x00}, stereo}));
    Put("ogg", "stereo-repeat-seek", Cat({{0x7E}, stereo}));
    Put("ogg", "stereo-loop-end", Cat({{0xF6}, stereo}));
    Put("ogg", "mono-loop", Cat({{0x4C}, mono}));
    Put("ogg", "rate-22050", Cat({{0x30}, slow}));
    Put("ogg", "container", Cat({{0x01}, Table(loops), stereo}));
    Put("ogg", "container-repeat", Cat({{0xA3}, Table(loops), mono}));
    Put("ogg", "container-in-data", Cat({{0x20}, loops, stereo}));
    Put("ogg", "truncated", Cat({{0x50}, Bytes(stereo.begin(), stereo.begin() + stereo.size() / 2)}));
    Bytes damaged = stereo;
    for (size_t i = 200; i < damaged.size(); i += 397)
        damaged[i] ^= 0x5A;
    Put("ogg", "damaged", Cat({{0x42}, damaged}));
    Put("ogg", "text", Cat({{0x00}, Bytes{'h', 'e', 'l', 'l', 'o'}}));
    // Chained streams: links of other rates and layouts one after another, each with a serial
    // number of its own, with loops and seeks that cross from one link into another.
    const Bytes monoLink = fixture::Encode(fixture::Sine(0.4, {330.0}, 1), {}, 0.0f, 2);
    const Bytes slowLink = fixture::Encode(fixture::Noise(0.3, 2, 22050), {}, 0.0f, 3);
    Put("ogg", "chain", Cat({{0x96}, stereo, slowLink, monoLink}));
    Put("ogg", "chain-container-repeat", Cat({{0xA3}, Table(loops), slowLink, stereo, monoLink}));
    // The second link's headers garbled (checksums made right by the target): the decoder refuses
    // the whole chain, and the load retries it cut short.
    Bytes garbled = slowLink;
    for (size_t i = garbled.size() / 8; i < garbled.size() / 8 + 48; ++i)
        garbled[i] ^= 0x5A;
    Put("ogg", "chain-damaged-link", Cat({{0x30}, stereo, garbled, monoLink}));
    // Page positions that start late (the decoder is shown them lowered) or trim the beginning,
    // in the first link and in a later one, with a loop point and a seek.
    Put("ogg", "positions-late", Cat({{0x7C}, fixture::ShiftPositions(stereo, 700)}));
    Put("ogg", "positions-trimmed", Cat({{0x54}, fixture::ShiftPositions(stereo, -300)}));
    Put("ogg", "positions-chain",
        Cat({{0x96}, fixture::ShiftPositions(stereo, 5000), fixture::ShiftPositions(slowLink, -200), monoLink}));

    Put("container", "plain-ogg", Cat({{0x00}, mono}));
    Put("container", "container", Cat({{0x00}, loops, mono}));
    Put("container", "header-only", Cat({{0x00}, loops}));
    Put("container", "short-magic", Cat({{0x00}, Bytes(loops.begin(), loops.begin() + 199)}));
    Put("container", "at-offset", Cat({{0x03}, {'x', 'y', 'z'}, loops, {'O', 'g', 'g', 'S'}}));
    Put("container", "nan-entries", Cat({{0x00}, fixture::ContainerHeader({{NAN, INFINITY, -1}, {-1e30f, 1e30f, 7}})}));

    // Whole, in a container, cut in the headers and in the last page, and not Ogg at all.
    Put("diagnosis", "stereo", stereo);
    Put("diagnosis", "container", Cat({loops, mono}));
    Put("diagnosis", "headers-cut", Bytes(stereo.begin(), stereo.begin() + 100));
    Put("diagnosis", "last-page-cut", Bytes(stereo.begin(), stereo.end() - 9));
    Put("diagnosis", "damaged", damaged);
    Put("diagnosis", "text", Bytes{'h', 'e', 'l', 'l', 'o'});
}

void M3uSeeds()
{
    PutText("m3u", "crlf", "/music/a.ogg\r\n/music/b.qv\r\nrelative/c.OGG\r\nd.QV\r\n");
    PutText("m3u", "extended",
            "#EXTM3U\n#EXTINF:123,Artist - Title\n/music/a.ogg\n#EXTINF:1,end.ogg\n#comment.qv\nnotes.txt\n"
            "mixed.Ogg\nlist.m3u\nLIST.M3U\n");
    PutText("m3u", "cr-only", "a.ogg\rb.qv\r\rc.mp3\r");
    PutText("m3u", "no-end", "a.ogg\n\n  spaced name .ogg");
    PutText("m3u", "japanese", "/音楽/曲名.ogg\r\n/音楽/ループ.qv\r\n表\\ソ.ogg\r\n");
    PutText("m3u", "odd-dots", "dir.ogg/file\n.ogg\n/a/b.c/d.qv\nC:\\music\\x.ogg\nname.\n");
}

void PlaylistSeeds()
{
    PutText("playlists", "pls",
            "[playlist]\r\nFile1=/music/a.ogg\r\nTitle1=A\r\nfile3=rel/c.QV\r\nFile2=file:///m/b%20c.ogg\r\n"
            "File4=http://radio/live\r\nNumberOfEntries=4\r\nVersion=2\r\n");
    PutText("playlists", "xspf",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">"
            "<trackList><track><location>file:///m/a%20b.ogg</location><title>T</title></track>"
            "<track><location>sub/%E6%9B%B2.qv</location></track><track><location>http://x/y.ogg</location>"
            "</track></trackList></playlist>\n");
    PutText("playlists", "broken-xspf", "<playlist><trackList><track><location>a.ogg</location><track>");
}

void SkinSeeds()
{
    for (const char* skin : {"default", "light"}) {
        std::ifstream in(std::string(buildpaths::SkinSource) + "/" + skin + "/skin.ini", std::ios::binary);
        PutText("skin", skin, std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    PutText("skin", "odd-values",
            "display_x=-5\r\nDISPLAY_Y = 3\r\nTITLE_COLOR=1,,2,3\r\nTIME_COLOR=,,255,0,0,9\r\n"
            "TOTALTIME_COLOR=300,-1,99999999999\r\nPLAY_BUTTON_X=2147483648\r\nPLAY_BUTTON_Y= +7\r\n"
            "PLAY_BUTTON_TRANS=1x\r\n");
    PutText("skin", "long-colour", "TITLE_COLOR=" + std::string(300, '1') + ",2,3\n");
}

void SettingsSeeds()
{
    Bytes record(288, 0);
    const int32_t fields[6] = {100, 200, 300, 400, -1, 10000};
    std::memcpy(record.data(), fields, sizeof fields);
    const std::string skin = "/opt/ostra/skin/default/";
    std::memcpy(record.data() + 24, skin.data(), skin.size());
    record[284] = 1;
    record[287] = 1;
    Put("settings", "full", record);
    Put("settings", "short", Bytes(record.begin(), record.begin() + 30));
    Put("settings", "empty", {});
    Bytes unterminated = record;
    std::memset(unterminated.data() + 24, 'a', 260);
    Put("settings", "unterminated-skin", unterminated);
    Bytes longer = record;
    longer.resize(400, 0xEE);
    Put("settings", "longer", longer);
}

void SjisSeeds()
{
    PutText("sjis", "ascii", "TITLE=Hello, world ~\\");
    PutText("sjis", "japanese", "TITLE=日本語のタイトル ①ｱ");
    PutText("sjis", "bom", "\xEF\xBB\xBFtitle=bom");
    PutText("sjis", "astral", "x\xF0\x9F\x8E\xB5y\xF4\x90\x80\x80z");
    PutText("sjis", "truncated", "abc\xE3\x81");
    PutText("sjis", "invalid", std::string("\x80\xBF\xC0\xAF\xFE\xFF\xED\xA0\x80", 9));
    PutText("sjis", "nul", std::string("ab\0cd", 5));
}

void LoopTagSeeds()
{
    PutText("looptags", "rpg", std::string("\x14") + "TITLE=x\nLOOPSTART=22222\nLOOPLENGTH=120000");
    PutText("looptags", "mixed", std::string("\x15") + "LoopStart=5\nLOOP_END=90\nloop_length=85");
    PutText("looptags", "conflict", std::string("\x15") + "LOOPSTART=1\nLoopStart=2\nLOOPEND=9");
    PutText("looptags", "pairs", std::string("\x20") + "LOOPDEFS=5,600\nlp= 7 , 8\r\nLP=1,2,3");
    PutText("looptags", "bad", std::string("\x03") + "LOOPSTART=99999999999999999999\nLOOPEND=-1\nLOOPLENGTH=1e5");
    // The first byte's high bits pick the rate: 44100, 48000, 1, 2^31-1, unknown.
    PutText("looptags", "times", std::string("\x15") + "LOOP-START=0:01.5\nLOOP-END=00:00:40.25\nLOOPMS=1500");
    PutText("looptags", "times48k", std::string("\x4d") + "LOOP_START=1:00.123456789123\nLOOPLENGTH=2.5");
    PutText("looptags", "games", std::string("\x15") + "COMMENT=LOOPPOINT=4410\nXIPH_CUE_LOOPSTART=4410\n"
                                                       "XIPH_CUE_LOOPEND=47.6\num3.stream.looppoint.start=4410");
    PutText("looptags", "comment-pair", std::string("\x15") + "COMMENT=loop(1.5,2:00)\nCOMMENT=loop(1,\nLOOPPOINT=1");
    PutText("looptags", "extreme-rates", std::string("\xb0") + "LOOPSTART=99:59:59.999999999\nLOOPMS=0.0000001");
    PutText("looptags", "unknown-rate", std::string("\xf0") + "LOOPSTART=1:75\nLOOPEND=9.\nLOOPMS=1:0");
}
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <directory>\n");
        return 2;
    }
    root = argv[1];
    OggSeeds();
    M3uSeeds();
    PlaylistSeeds();
    SkinSeeds();
    SettingsSeeds();
    SjisSeeds();
    LoopTagSeeds();
    return 0;
}
