// TDSOggStream::GetTitle reads a file's headers alone: the title must be the one a whole load of
// the file gives, for containers, comments spread over many pages, cut files and huge tags, while
// only the front of the file is read and nothing that is not a regular file is opened.
#include "EFileError.h"
#include "ERangeError.h"
#include "OggDataLib.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "SjisConv.h"
#include "TDSOggStream.h"
#include "TOggPage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <future>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

class TitleLookup : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }
    void SetUp() override { stream.Init(nullptr); }

    // The title as the whole load of the file finds it: every comment converted, then looked up.
    static std::string TitleByWholeLoad(const std::string& path)
    {
        TOggData data(0);
        if (!data.LoadOgg(path))
            return "";
        TStringList converted;
        for (const std::string& line : data.CommentList->Lines())
            converted.Add(Utf8ToSjis(TDSOggStream::DisplayCut(line)));
        return converted.Values("title");
    }

    static std::vector<uint8_t> Piece(const std::vector<std::string>& comments, double seconds = 1.0)
    {
        return fixture::Encode(fixture::Sine(seconds), comments, 0.0f);
    }

    TDSOggStream stream;
};

TEST_F(TitleLookup, PlainFileAndContainerGiveTheTitleOfAWholeLoad)
{
    const std::vector<uint8_t> bytes = Piece({"ARTIST=x", "TITLE=\xE6\xA3\xAE\xE3\x81\xAE\xE6\x9B\xB2"});
    const std::string plain = fixture::WriteTemp(bytes, "plain.ogg");
    std::vector<uint8_t> qv = fixture::ContainerHeader({{0.2f, 0.8f, 2}});
    qv.insert(qv.end(), bytes.begin(), bytes.end());
    const std::string container = fixture::WriteTemp(qv, "looped.qv");

    EXPECT_EQ(stream.GetTitle(plain), "\x90\x58\x82\xCC\x8B\xC8");
    EXPECT_EQ(stream.GetTitle(container), "\x90\x58\x82\xCC\x8B\xC8");
    EXPECT_EQ(stream.GetTitle(container), TitleByWholeLoad(container));
    ASSERT_EQ(stream.GetComments()->Count(), 2);
    EXPECT_EQ((*stream.GetComments())[0], "ARTIST=x");

    // A container magic with less than a whole header behind it is no container: the bytes are
    // taken as they are, and they are no Ogg stream.
    const std::string shortMagic = fixture::MakeFile("short.qv", "OSTRAOGG" + std::string(100, '\0'));
    EXPECT_THROW(stream.GetTitle(shortMagic), ERangeError);
}

TEST_F(TitleLookup, CommentsOverManyPagesAndMissingTitles)
{
    // Two comments of 40 KB before the title: the comment header spans several pages.
    const std::string bulky = fixture::WriteTemp(
        Piece({"A=" + std::string(40000, 'a'), "B=" + std::string(40000, 'b'), "Title=after the bulk"}), "bulky.ogg");
    EXPECT_EQ(stream.GetTitle(bulky), "after the bulk");
    EXPECT_EQ(stream.GetTitle(bulky), TitleByWholeLoad(bulky));
    EXPECT_EQ(stream.GetComments()->Count(), 3);

    const std::string none = fixture::WriteTemp(Piece({"ARTIST=nobody", "TITLES=no"}), "untitled.ogg");
    EXPECT_EQ(stream.GetTitle(none), "");
    EXPECT_EQ(stream.GetComments()->Count(), 2);
    const std::string bare = fixture::WriteTemp(Piece({}), "bare.ogg");
    EXPECT_EQ(stream.GetTitle(bare), "");
    EXPECT_EQ(stream.GetComments()->Count(), 0);
}

TEST_F(TitleLookup, ACutFileAnswersAsItsWholeLoadDoes)
{
    // Cut anywhere from inside the headers to the middle of the sound: the lookup gives the
    // whole load's title where that load opens the file, and refuses it where the load does.
    const std::vector<uint8_t> bytes = Piece({"A=" + std::string(9000, 'a'), "TITLE=cut"}, 2.0);
    int refused = 0;
    int titled = 0;
    for (size_t size : {size_t{20}, size_t{58}, size_t{200}, size_t{4000}, size_t{9100}, size_t{12000},
                        bytes.size() / 2, bytes.size() - 1}) {
        const std::string path = fixture::WriteTemp({bytes.begin(), bytes.begin() + static_cast<long>(size)},
                                                    "cut" + std::to_string(size) + ".ogg");
        bool loadRefused = false;
        std::string whole;
        try {
            whole = TitleByWholeLoad(path);
        } catch (const ERangeError&) {
            loadRefused = true;
        }
        if (loadRefused) {
            EXPECT_THROW(stream.GetTitle(path), ERangeError) << size;
            ++refused;
        } else {
            EXPECT_EQ(stream.GetTitle(path), whole) << size;
            EXPECT_EQ(whole, "cut") << size;
            ++titled;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(titled, 0);
}

TEST_F(TitleLookup, DamagedCommentHeadersAnswerAsTheirWholeLoadDoes)
{
    const std::vector<uint8_t> bytes = Piece({"ARTIST=someone", "TITLE=abXcd"});
    const size_t second = TOggPage::Length(bytes.data(), static_cast<int64_t>(bytes.size()));
    ASSERT_GT(second, 0u);
    const auto length = static_cast<size_t>(TOggPage::Length(bytes.data() + second, static_cast<int64_t>(bytes.size() - second)));
    ASSERT_GT(length, 0u);
    // Changes the comment page and writes its checksum again, so only the header is wrong.
    auto patched = [&](const std::string& name, auto&& change) {
        std::vector<uint8_t> b = bytes;
        change(b.data() + second, length);
        const uint32_t crc = TOggPage::Checksum(b.data() + second, static_cast<int64_t>(length));
        for (int i = 0; i < 4; ++i)
            b[second + 22 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
        return fixture::WriteTemp(b, name);
    };
    auto find = [](uint8_t* page, size_t n, const std::string& text) {
        return std::search(page, page + n, text.begin(), text.end());
    };
    // A NUL inside a comment ends it, as the decoder hands comments out.
    const std::string nul = patched("nul.ogg", [&](uint8_t* page, size_t n) { find(page, n, "abXcd")[2] = 0; });
    EXPECT_EQ(stream.GetTitle(nul), "ab");
    EXPECT_EQ(stream.GetTitle(nul), TitleByWholeLoad(nul));
    // A comment length beyond the packet, a cleared framing bit and a wrong packet type are
    // refused by both.
    const std::string tooLong = patched("long.ogg", [&](uint8_t* page, size_t n) { find(page, n, "ARTIST")[-3] = 0x40; });
    const std::string framing = patched("framing.ogg", [&](uint8_t* page, size_t n) { *(find(page, n, "abXcd") + 5) &= 0xFE; });
    const std::string type = patched("type.ogg", [&](uint8_t* page, size_t n) { find(page, n, "\x03vorbis")[0] = 0x04; });
    for (const std::string& path : {tooLong, framing, type}) {
        EXPECT_THROW(TitleByWholeLoad(path), ERangeError) << path;
        EXPECT_THROW(stream.GetTitle(path), ERangeError) << path;
    }
}

TEST_F(TitleLookup, OnlyTheFrontOfAFileIsRead)
{
    // Most of a megabyte of noise at high quality; its headers are a few kilobytes.
    const std::string path = fixture::WriteTemp(
        fixture::Encode(fixture::Noise(12.0), {"TITLE=noise"}, 1.0f), "long.ogg");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    ASSERT_GT(st.st_size, 500000);
    const long long before = fixture::ProcessReadBytes();
    ASSERT_GE(before, 0);
    EXPECT_EQ(stream.GetTitle(path), "noise");
    EXPECT_LT(fixture::ProcessReadBytes() - before, 64 * 1024);
}

// The identification page of file, then pages carrying the given comment lines and the file's
// setup header: a comment header of any size, without the encoder's writer, whose buffer grows a
// few bytes at a time.
std::vector<uint8_t> HeadersWithComments(const std::vector<uint8_t>& file, const std::vector<std::string>& lines)
{
    const auto first = static_cast<size_t>(TOggPage::Length(file.data(), static_cast<int64_t>(file.size())));
    std::vector<std::vector<uint8_t>> packets(1);  // the comment header, the setup header
    for (size_t at = first; packets.size() < 3;) {
        const uint8_t* page = file.data() + at;
        size_t body = TOggPage::HeaderBytes + page[26];
        for (size_t i = 0; i < page[26] && packets.size() < 3; body += page[TOggPage::HeaderBytes + i], ++i) {
            packets.back().insert(packets.back().end(), page + body, page + body + page[TOggPage::HeaderBytes + i]);
            if (page[TOggPage::HeaderBytes + i] < 255)
                packets.emplace_back();
        }
        at += static_cast<size_t>(TOggPage::Length(page, static_cast<int64_t>(file.size() - at)));
    }
    std::vector<uint8_t> comment = {3, 'v', 'o', 'r', 'b', 'i', 's'};
    auto put = [&](const std::string& text) {
        for (int i = 0; i < 4; ++i)
            comment.push_back(static_cast<uint8_t>(text.size() >> (8 * i)));
        comment.insert(comment.end(), text.begin(), text.end());
    };
    put("hand made");
    for (int i = 0; i < 4; ++i)
        comment.push_back(static_cast<uint8_t>(lines.size() >> (8 * i)));
    for (const std::string& line : lines)
        put(line);
    comment.push_back(1);  // the framing bit

    std::vector<uint8_t> out(file.begin(), file.begin() + static_cast<long>(first));
    std::vector<uint8_t> lacing, data;
    for (const std::vector<uint8_t>* packet : {&comment, &packets[1]}) {
        lacing.insert(lacing.end(), packet->size() / 255, 255);
        lacing.push_back(static_cast<uint8_t>(packet->size() % 255));
        data.insert(data.end(), packet->begin(), packet->end());
    }
    size_t used = 0;
    bool continued = false;
    for (uint32_t sequence = 1, segment = 0; segment < lacing.size(); ++sequence) {
        const size_t n = std::min<size_t>(255, lacing.size() - segment);
        std::vector<uint8_t> page(file.begin(), file.begin() + 27);  // the first page's header fields
        page[5] = continued ? 1 : 0;
        std::fill(page.begin() + 6, page.begin() + 14, 0);  // no granule position in the headers
        for (int i = 0; i < 4; ++i)
            page[18 + static_cast<size_t>(i)] = static_cast<uint8_t>(sequence >> (8 * i));
        page[26] = static_cast<uint8_t>(n);
        size_t body = 0;
        for (size_t i = 0; i < n; ++i) {
            page.push_back(lacing[segment + i]);
            body += lacing[segment + i];
        }
        page.insert(page.end(), data.begin() + static_cast<long>(used), data.begin() + static_cast<long>(used + body));
        const uint32_t crc = TOggPage::Checksum(page.data(), static_cast<int64_t>(page.size()));
        for (int i = 0; i < 4; ++i)
            page[22 + static_cast<size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
        out.insert(out.end(), page.begin(), page.end());
        continued = lacing[segment + n - 1] == 255;
        used += body;
        segment += static_cast<uint32_t>(n);
    }
    return out;
}

TEST_F(TitleLookup, AHugeTitleIsCutToItsDisplayLengthOnACharacterBoundary)
{
    // 12 MB of "あ" (three bytes in UTF-8, two in Shift-JIS).
    std::string huge = "TITLE=";
    for (int i = 0; i < 4 * 1000 * 1000; ++i)
        huge += "\xE3\x81\x82";
    const std::string path =
        fixture::WriteTemp(HeadersWithComments(Piece({"TITLE=small"}), {huge, "ARTIST=after"}), "huge-title.ogg");
    // The page writer above makes pages as the encoder does.
    const std::string small = fixture::WriteTemp(HeadersWithComments(Piece({}), {"TITLE=small"}), "small.ogg");
    EXPECT_EQ(stream.GetTitle(small), "small");
    EXPECT_EQ(TitleByWholeLoad(small), "small");
    const std::string title = stream.GetTitle(path);
    // 512 bytes of the line hold "TITLE=" and 168 whole characters; the 169th is left out.
    std::string expected;
    for (int i = 0; i < 168; ++i)
        expected += "\x82\xA0";
    EXPECT_EQ(title, expected);
    ASSERT_EQ(stream.GetComments()->Count(), 2);
    EXPECT_EQ((*stream.GetComments())[1], "ARTIST=after");

    EXPECT_EQ(TDSOggStream::DisplayCut(std::string(600, 'x')).size(), TDSOggStream::MaxCommentBytes);
    EXPECT_EQ(TDSOggStream::DisplayCut("short"), "short");
}

TEST_F(TitleLookup, WhatIsNoRegularFileIsNotOpened)
{
    const std::string dir = fixture::FreshDir("notafile");
    const std::string fifo = dir + "pipe.ogg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Run apart, so that a lookup that waits for a writer fails here instead of hanging the suite.
    // Either no title or a message naming what is there is a fine answer; waiting is not.
    auto lookup = std::async(std::launch::async, [&] {
        TDSOggStream other;
        auto answer = [&](const std::string& path) -> std::string {
            try {
                return other.GetTitle(path);
            } catch (const EFileError&) {
                return "";
            }
        };
        return answer(fifo) + "|" + answer(dir);
    });
    if (lookup.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // A writer that comes and goes lets a blocked open go on, so the suite can end.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
        FAIL() << "the lookup of a FIFO waited for a writer";
    }
    EXPECT_EQ(lookup.get(), "|");
    EXPECT_EQ(stream.GetTitle(dir + "missing.ogg"), "");
}

}
