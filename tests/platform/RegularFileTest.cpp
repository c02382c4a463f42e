#include "EFileError.h"
#include "OggFixture.h"
#include "TRegularFile.h"
#include "TStringList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

TEST(RegularFile, ReadsByTheBytesOfItsNameAndThroughALink)
{
    // A folder and a file named in Shift-JIS, as unpacked from an archive: not valid UTF-8.
    const std::string dir = fixture::FreshDir("\x83\x58\x83\x4c\x83\x93");
    std::ofstream(dir + "\x95\x5c.ini", std::ios::binary) << std::string("a=1\r\n\0b", 7);
    ASSERT_EQ(::symlink((dir + "\x95\x5c.ini").c_str(), (dir + "link.ini").c_str()), 0);
    for (const std::string name : {"\x95\x5c.ini", "link.ini"}) {
        EXPECT_TRUE(TRegularFile::Exists(dir + name));
        const std::vector<uint8_t> bytes = TRegularFile::Read(dir + name, 7);
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("a=1\r\n\0b", 7));
        EXPECT_THROW(TRegularFile::Read(dir + name, 6), EFileError);
    }
    EXPECT_FALSE(TRegularFile::Exists(dir + "missing"));
}

TEST(RegularFile, RefusesAFifoADeviceAndAFolderWithoutBlocking)
{
    // Were any of these opened as a file, the FIFO would wait for a writer for ever and the test
    // would run into its time limit instead of failing.
    const std::string dir = fixture::FreshDir("kinds");
    ASSERT_EQ(::mkfifo((dir + "zkv108.info").c_str(), 0600), 0);
    ASSERT_EQ(::mkdir((dir + "list.m3u").c_str(), 0700), 0);
    const struct {
        std::string path;
        const char* kind;
    } cases[] = {{dir + "zkv108.info", "名前付きパイプ"}, {dir + "list.m3u", "フォルダー"}, {"/dev/null", "デバイス"}};
    for (const auto& c : cases) {
        EXPECT_EQ(TRegularFile::Problem(c.path), "ファイル " + c.path + " は" + c.kind + "なので読み込めません。");
        EXPECT_THROW(TRegularFile::Exists(c.path), EFileError) << c.path;
        TStringList lines;  // and through it every TMemoryStream load
        EXPECT_THROW(lines.LoadFromFile(c.path), EFileError) << c.path;
    }
    EXPECT_EQ(TRegularFile::Problem(dir + "none"), "ファイル " + dir + "none を開けません。");
}
