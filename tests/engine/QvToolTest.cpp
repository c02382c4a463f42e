// qvtool info and make, run as processes on our fixtures and on a file made by the stock oggenc.
#include "OggFixture.h"
#include "RunProgram.h"

#include <gtest/gtest.h>

#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Result = fixture::RunResult;
using fixture::RunProgram;
const auto Qv = fixture::RunQvtool;

std::vector<uint8_t> Concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What info must print for a plain stream of `frames` frames, before any loop and comment lines.
std::string InfoHead(int channels, int rate, int64_t frames, const std::string& vendor, int dataStart)
{
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "channels: %d\nrate: %d\ntotal_time: %.6f\npcm_bytes: %lld\nvendor: %s\ndata_start: %d\nseekable: 1\n",
                  channels, rate, static_cast<double>(static_cast<float>(static_cast<double>(frames) / rate)),
                  static_cast<long long>(frames * 4), vendor.c_str(), dataStart);
    return buf;
}

// The vendor string and comments of a file, straight from libvorbisfile.
void ReadTags(const std::string& path, std::string& vendor, std::vector<std::string>& comments)
{
    OggVorbis_File vf;
    ASSERT_EQ(ov_fopen(path.c_str(), &vf), 0);
    vorbis_comment* vc = ov_comment(&vf, -1);
    vendor = vc->vendor;
    comments.clear();
    for (int i = 0; i < vc->comments; ++i)
        comments.emplace_back(vc->user_comments[i], static_cast<size_t>(vc->comment_lengths[i]));
    ov_clear(&vf);
}

class QvTool : public ::testing::Test {
protected:
    static std::string Plain()
    {
        static std::string path = fixture::WriteTemp(
            fixture::Encode(fixture::Sine(2.0), {"TITLE=雪の日", "ARTIST=x=y", "title=second"}), "qv-plain.ogg");
        return path;
    }
};

TEST_F(QvTool, InfoOnAPlainFile)
{
    std::string vendor;
    std::vector<std::string> comments;
    ReadTags(Plain(), vendor, comments);
    auto ref = fixture::ReferenceDecode(Plain());
    Result r = Qv({"info", Plain()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, InfoHead(2, 44100, ref.Frames(), vendor, 0) +
                         "comment: TITLE=雪の日\ncomment: ARTIST=x=y\ncomment: title=second\n");
}

TEST_F(QvTool, InfoOnAContainerListsTheEntriesThatAreSet)
{
    std::vector<fixture::LoopEntry> table(16, {0, 0, 0});
    table[0] = {1.5f, 1.75f, -1};
    table[2] = {0.0f, 0.0f, 3};
    table[15] = {0.1f, 0.0f, 0};
    auto ogg = fixture::Encode(fixture::Sine(2.0, {300.0}, 1));
    auto path = fixture::WriteTemp(Concat(fixture::ContainerHeader(table), ogg), "qv-info.ogg");
    std::string vendor;
    std::vector<std::string> comments;
    auto plain = fixture::WriteTemp(ogg, "qv-info-plain.ogg");
    ReadTags(plain, vendor, comments);
    Result r = Qv({"info", path});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, InfoHead(1, 44100, fixture::ReferenceDecode(ogg).Frames(), vendor, 200) +
                         "loop 0: 1.500000 1.750000 -1\nloop 0 frames: 66150 77175\n"
                         "loop 2: 0.000000 0.000000 3\nloop 2 frames: 0 0\n"
                         "loop 15: 0.100000 0.000000 0\nloop 15 frames: 4410 0\n");
}

TEST_F(QvTool, MakeWrapsAPlainFileAndReproducesAContainer)
{
    std::string first = fixture::TempDir() + "/qv-made1.qv";
    std::string second = fixture::TempDir() + "/qv-made2.qv";
    Result r = Qv({"make", Plain(), first, "--loop", "0.5:1.5:-1", "--loop", "1:2:2"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    auto made = fixture::ReadFile(first);
    auto header = fixture::ContainerHeader({{0.5f, 1.5f, -1}, {1.0f, 2.0f, 2}});
    EXPECT_EQ(made, Concat(header, fixture::ReadFile(Plain())));

    // A container made again without loops keeps its table, byte for byte.
    ASSERT_EQ(Qv({"make", first, second}).code, 0);
    EXPECT_EQ(fixture::ReadFile(second), made);
    // Never over its own input, even when told to replace.
    EXPECT_EQ(Qv({"make", second, second, "--force"}).code, 1);
    EXPECT_EQ(fixture::ReadFile(second), made);

    // Loops given replace the whole table: entry 0 first, the rest zero.
    // An existing file is replaced only with --force, and a loop outside the 2 s piece never.
    EXPECT_EQ(Qv({"make", first, second, "--loop", "1:1.5:1"}).code, 1);
    EXPECT_EQ(Qv({"make", first, second, "--loop", "3:4:1", "--force"}).code, 1);
    EXPECT_EQ(fixture::ReadFile(second), made);
    ASSERT_EQ(Qv({"make", first, second, "--loop", "1:1.5:1", "--force"}).code, 0);
    EXPECT_EQ(fixture::ReadFile(second), Concat(fixture::ContainerHeader({{1.0f, 1.5f, 1}}), fixture::ReadFile(Plain())));
    Result info = Qv({"info", second});
    EXPECT_NE(info.out.find("data_start: 200\nseekable: 1\nloop 0: 1.000000 1.500000 1\n"
                                "loop 0 frames: 44100 66150\ncomment: "), std::string::npos)
        << info.out;

    // A plain file made without loops gains an all-zero header of exactly 200 bytes.
    ASSERT_EQ(Qv({"make", Plain(), second, "--force"}).code, 0);
    EXPECT_EQ(fixture::ReadFile(second), Concat(fixture::ContainerHeader({}), fixture::ReadFile(Plain())));
}

TEST_F(QvTool, FailuresExitWithOneAndTheMessage)
{
    auto text = fixture::WriteTemp(std::vector<uint8_t>(1000, 't'), "qv-text.ogg");
    Result r = Qv({"info", text});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, text + ": not an Ogg Vorbis file (ファイルの読み込みに失敗)\n");

    r = Qv({"make", text, fixture::TempDir() + "/qv-never.qv"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, text + ": not an Ogg Vorbis file (ファイルの読み込みに失敗)\n");
    EXPECT_FALSE(fs::exists(fixture::TempDir() + "/qv-never.qv"));

    r = Qv({"info", fixture::TempDir() + "/qv-missing.ogg"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("qv-missing.ogg"), std::string::npos);

    r = Qv({"make", Plain(), fixture::TempDir() + "/no/dir/out.qv"});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(r.err.empty());
}

TEST_F(QvTool, WrongUsageExitsWithTwoAndTheUsage)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"info"},
             {"info", "a", "b"},
             {"make", "a"},
             {"make", "a", "b", "c"},
             {"make", "a", "b", "--loop"},
             {"make", "a", "b", "--loop", "1:2"},
             {"make", "a", "b", "--loop", "1:2:3:4"},
             {"make", "a", "b", "--loop", "x:2:3"},
             {"make", "a", "b", "--loop", "1:2:1.5"},
             {"make", "a", "b", "--loop", "1:2:99999999999"},
         }) {
        Result r = Qv(args);
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_EQ(r.code, 2) << shown;
        EXPECT_NE(r.err.find("usage: qvtool "), std::string::npos) << shown << r.err;
        EXPECT_EQ(r.out, "") << shown;
    }
    std::vector<std::string> many{"make", Plain(), fixture::TempDir() + "/qv-17.qv"};
    for (int i = 0; i < 17; ++i) {
        many.push_back("--loop");
        many.push_back("1:2:3");
    }
    EXPECT_EQ(Qv(many).code, 2);
    EXPECT_FALSE(fs::exists(fixture::TempDir() + "/qv-17.qv"));

    Result help = Qv({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("usage: qvtool "), std::string::npos);
    EXPECT_NE(help.out.find("qvtool info FILE\n"), std::string::npos);
    EXPECT_NE(help.out.find("qvtool make IN OUT [--loop START:END:COUNT]... [--force]\n"), std::string::npos);
}

TEST_F(QvTool, WithoutItsDecoderLibraryItSaysSo)
{
    // A copy of the program in a directory without wuvorbis.dll.
    std::string dir = fixture::TempDir() + "/lonely";
    fs::create_directories(dir);
    fs::copy_file(fixture::BinDir() + "/qvtool", dir + "/qvtool", fs::copy_options::overwrite_existing);
    Result r = RunProgram(dir + "/qvtool", {"info", Plain()});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "wuvorbis.dllが存在しません。\r\n(" + dir + "/wuvorbis.dll)\n");
}

// A 16-bit PCM WAVE file of the fixture's samples, for oggenc.
std::vector<uint8_t> Wave(const fixture::Pcm& pcm)
{
    std::vector<uint8_t> out;
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto put16 = [&](uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    // Byte by byte: GCC 12 takes an insert of a list into an empty vector for an overflow.
    auto putText = [&](std::string_view text) {
        for (char c : text)
            out.push_back(static_cast<uint8_t>(c));
    };
    uint32_t dataBytes = static_cast<uint32_t>(pcm.samples.size() * 2);
    putText("RIFF");
    put32(36 + dataBytes);
    putText("WAVEfmt ");
    put32(16);
    put16(1);
    put16(static_cast<uint16_t>(pcm.channels));
    put32(static_cast<uint32_t>(pcm.rate));
    put32(static_cast<uint32_t>(pcm.rate * pcm.channels * 2));
    put16(static_cast<uint16_t>(pcm.channels * 2));
    put16(16);
    putText("data");
    put32(dataBytes);
    for (float s : pcm.samples)
        put16(static_cast<uint16_t>(static_cast<int16_t>(s * 32767.0f)));
    return out;
}

TEST_F(QvTool, FilesFromTheStockEncoder)
{
    if (std::system("command -v oggenc >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "oggenc is not installed";
    auto wav = fixture::WriteTemp(Wave(fixture::Sine(3.0, {220.0, 330.0})), "stock.wav");
    std::string ogg = fixture::TempDir() + "/stock.ogg";
    Result enc = RunProgram("oggenc", {"-Q", "-q", "2", "-t", "Stock Title", "-a", "Artist", "-c", "NOTE=a=b",
                                       "-o", ogg, wav});
    ASSERT_EQ(enc.code, 0) << enc.err;

    std::string vendor;
    std::vector<std::string> comments;
    ReadTags(ogg, vendor, comments);
    std::string expected = InfoHead(2, 44100, fixture::ReferenceDecode(ogg).Frames(), vendor, 0);
    for (const auto& c : comments)
        expected += "comment: " + c + "\n";
    Result info = Qv({"info", ogg});
    ASSERT_EQ(info.code, 0) << info.err;
    EXPECT_EQ(info.out, expected);
    EXPECT_NE(info.out.find("comment: title=Stock Title\n"), std::string::npos);

    std::string qv = fixture::TempDir() + "/stock.qv";
    ASSERT_EQ(Qv({"make", ogg, qv, "--loop", "1:2.5:-1"}).code, 0);
    EXPECT_EQ(fixture::ReadFile(qv), Concat(fixture::ContainerHeader({{1.0f, 2.5f, -1}}), fixture::ReadFile(ogg)));
    Result again = Qv({"info", qv});
    ASSERT_EQ(again.code, 0) << again.err;
    std::string head = InfoHead(2, 44100, fixture::ReferenceDecode(ogg).Frames(), vendor, 200);
    EXPECT_EQ(again.out.substr(0, head.size()), head);
    EXPECT_NE(again.out.find("loop 0: 1.000000 2.500000 -1\n"), std::string::npos);
    std::string twice = fixture::TempDir() + "/stock2.qv";
    ASSERT_EQ(Qv({"make", qv, twice}).code, 0);
    EXPECT_EQ(fixture::ReadFile(twice), fixture::ReadFile(qv));
}

}
