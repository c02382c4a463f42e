#include "EFileError.h"
#include "OggFixture.h"
#include "TMemoryStream.h"
#include "TRegularFile.h"
#include "TStringList.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string Fresh(const std::string& name)
{
    const std::string path = fixture::TempDir() + "/" + name;
    std::filesystem::remove_all(path);
    return path;
}

void Write(const std::string& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

}

TEST(RegularFile, ReadsARegularFileByTheBytesOfItsName)
{
    // A folder and a file named in Shift-JIS, as unpacked from an archive: not valid UTF-8.
    const std::string dir = Fresh("\x83\x58\x83\x4c\x83\x93");
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    const std::string path = dir + "/\x95\x5c.ini";
    Write(path, std::string("a=1\r\n\0b", 7));
    EXPECT_EQ(TRegularFile::Problem(path), "");
    TRegularFile file(path);
    EXPECT_EQ(file.Size(), 7);
    const std::vector<uint8_t> bytes = file.ReadAll(7);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("a=1\r\n\0b", 7));
    EXPECT_THROW(TRegularFile::Read(path, 6), EFileError);
    TStringList lines;
    lines.LoadFromFile(path);
    EXPECT_EQ(lines.Values("a"), "1");
}

TEST(RegularFile, RefusesAFifoADeviceAndAFolderWithoutBlocking)
{
    // Were any of these opened as a file, the FIFO would wait for a writer for ever and the test
    // would run into its time limit instead of failing.
    const std::string fifo = Fresh("zkv108.info");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string dir = Fresh("list.m3u");
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    const struct {
        std::string path;
        const char* kind;
    } cases[] = {{fifo, "名前付きパイプ"}, {dir, "フォルダー"}, {"/dev/null", "デバイス"}};
    for (const auto& c : cases) {
        const std::string message = TRegularFile::Problem(c.path);
        EXPECT_NE(message.find(c.path), std::string::npos) << message;
        EXPECT_NE(message.find(c.kind), std::string::npos) << message;
        EXPECT_THROW(TRegularFile{c.path}, EFileError) << c.path;
        TMemoryStream stream;
        EXPECT_THROW(stream.LoadFromFile(c.path), EFileError) << c.path;
        TStringList lines;
        EXPECT_THROW(lines.LoadFromFile(c.path), EFileError) << c.path;
        EXPECT_THROW(TRegularFile::Exists(c.path), EFileError) << c.path;
    }
    EXPECT_FALSE(TRegularFile::Exists(Fresh("missing")));
    EXPECT_EQ(TRegularFile::Problem(Fresh("missing")), "ファイル " + Fresh("missing") + " を開けません。");
}

TEST(RegularFile, FollowsASymbolicLinkToARegularFile)
{
    const std::string target = Fresh("target.m3u");
    Write(target, "x.ogg\r\n");
    const std::string link = Fresh("link.m3u");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(TRegularFile::Read(link, 100).size(), 7u);
    EXPECT_TRUE(TRegularFile::Exists(link));
}
