// The comment conversion (UTF-8 -> UTF-16 -> CP932), the CP932 display helper, and title lookups
// through TDSOggStream::GetTitle on generated files.
#include "CodePage.h"
#include "ERangeError.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "SjisConv.h"
#include "TDSOggStream.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<int> Bytes(const std::string& s)
{
    std::vector<int> out;
    for (unsigned char c : s) {
        out.push_back(c);
    }
    return out;
}

}

TEST(Utf8ToUtf16, DecodesOneTwoThreeAndFourByteSequences)
{
    EXPECT_EQ(Utf8ToUtf16("A=b"), u"A=b");
    EXPECT_EQ(Utf8ToUtf16("\xC3\xA9"), u"\u00E9");
    EXPECT_EQ(Utf8ToUtf16("\xE3\x83\x86\xE3\x82\xB9"), u"\u30C6\u30B9");
    // A character beyond the basic plane is one surrogate pair and does not swallow the next byte.
    EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80" "A"), u"\U0001F600A");
    EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(Utf8ToUtf16, MalformedInputStaysInsideTheText)
{
    // Bytes past the end count as 0: a lone three-byte lead gives its own bits only.
    EXPECT_EQ(Utf8ToUtf16("\xE3"), u"\u3000");
    EXPECT_EQ(Utf8ToUtf16("a\xC3"), u"a\u00C0");
    // A NUL inside the bytes ends the text; a sequence decoding to 0 ends the result.
    EXPECT_EQ(Utf8ToUtf16(std::string("ab\0cd", 5)), u"ab");
    EXPECT_EQ(Utf8ToUtf16("x\xC0\x80y"), u"x");
    // A stray continuation byte is read as a three-byte lead, as the decoder has always done.
    EXPECT_EQ(Utf8ToUtf16("\x80\x41\x42").size(), 1u);
}

TEST(Utf16ToSjis, MapsThroughCp932AndEscapesWhatHasNoForm)
{
    EXPECT_EQ(Bytes(Utf16ToSjis(u"\u30C6\u30B9\u30C8")), (std::vector<int>{0x83, 0x65, 0x83, 0x58, 0x83, 0x67}));
    EXPECT_EQ(Utf16ToSjis(u"caf\u00E9!"), "caf\xFD\xC3\xA9!");
    // A leading byte-order mark in either order gives nothing; elsewhere it is a character
    // without a Shift-JIS form, kept in its escape.
    EXPECT_EQ(Utf16ToSjis(u"\uFEFFab"), "ab");
    EXPECT_EQ(Utf16ToSjis(u"\uFFFEab"), "ab");
    EXPECT_EQ(Utf16ToSjis(u"a\uFEFFb"), "a\xFD\xEF\xBB\xBF" "b");
    // A character beyond the basic plane is escaped whole; each lone surrogate is one space.
    EXPECT_EQ(Utf16ToSjis(u"\U0001F600"), "\xFD\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16ToSjis(std::u16string{u'a', char16_t(0xDC00), char16_t(0xD800)}), "a  ");
    // The Windows table, not plain Shift-JIS: fullwidth tilde, circled one, halfwidth katakana,
    // and backslash and tilde kept as ASCII.
    EXPECT_EQ(Bytes(Utf16ToSjis(u"\uFF5E\u2460\uFF71\\~")), (std::vector<int>{0x81, 0x60, 0x87, 0x40, 0xB1, 0x5C, 0x7E}));
    EXPECT_EQ(Utf16ToSjis(std::u16string{u'a', 0, u'b'}), "a");
}

TEST(Utf8ToSjis, LeavesTheLocaleAloneAndWorksOnManyThreadsAtOnce)
{
    const std::string before = std::setlocale(LC_ALL, nullptr);
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                if (Utf8ToSjis("\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88 \xC3\xA9") != "\x83\x65\x83\x58\x83\x67 \xFD\xC3\xA9") {
                    ++wrong[t];
                }
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    EXPECT_EQ(wrong, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(before, std::setlocale(LC_ALL, nullptr));
}

TEST(Cp932ToUtf8, ShowsShiftJisTextAndMarksBrokenBytes)
{
    EXPECT_EQ(CodePage::Cp932ToUtf8("\x83\x65\x83\x58\x83\x67"), "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88");
    EXPECT_EQ(CodePage::Cp932ToUtf8("a\xB1z"), "a\xEF\xBD\xB1z");
    EXPECT_EQ(CodePage::Cp932ToUtf8("\x81\x60"), "\xEF\xBD\x9E");
    // A lead byte without its trail byte, and an undefined byte.
    EXPECT_EQ(CodePage::Cp932ToUtf8("ok\x83"), "ok\xEF\xBF\xBD");
    EXPECT_EQ(CodePage::Cp932ToUtf8("\xA0x"), "\xEF\xBF\xBDx");
    // Round trip of the comment conversion.
    const std::string text = "\xE6\x9D\xB1\xE6\x96\xB9 Project \xEF\xBD\xB1";
    EXPECT_EQ(CodePage::Cp932ToUtf8(Utf8ToSjis(text)), text);
}

class GetTitle : public ::testing::Test {
protected:
    static void SetUpTestSuite() { _VorbisfileInitialize(fixture::BinDir() + "/wuvorbis.dll"); }

    std::string FileWith(const std::vector<std::string>& comments, const std::string& name)
    {
        return fixture::WriteTemp(fixture::Encode(fixture::Silence(0.2), comments), name);
    }
    TDSOggStream stream;
};

TEST_F(GetTitle, AnyCaseOfTheNameAnswers)
{
    stream.Init(nullptr);
    EXPECT_EQ(stream.GetTitle(FileWith({"ARTIST=x", "TITLE=Upper"}, "upper.ogg")), "Upper");
    EXPECT_EQ(stream.GetTitle(FileWith({"Title=Mixed=with=equals"}, "mixed.ogg")), "Mixed=with=equals");
    EXPECT_EQ(stream.GetTitle(FileWith({"title=first", "TITLE=second"}, "two.ogg")), "first");
    // Comments holds the converted comments of the last lookup.
    ASSERT_EQ(stream.GetComments()->Count(), 2);
    EXPECT_EQ((*stream.GetComments())[1], "TITLE=second");
}

TEST_F(GetTitle, ConvertsToShiftJis)
{
    stream.Init(nullptr);
    EXPECT_EQ(Bytes(stream.GetTitle(FileWith({"TITLE=\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"}, "jp.ogg"))),
              (std::vector<int>{0x83, 0x65, 0x83, 0x58, 0x83, 0x67}));
    EXPECT_EQ(stream.GetTitle(FileWith({"TITLE=caf\xC3\xA9"}, "e.ogg")), "caf\xFD\xC3\xA9");
    // A byte-order mark at the start of a comment line hides nothing of the name.
    EXPECT_EQ(stream.GetTitle(FileWith({"\xEF\xBB\xBFTITLE=bom"}, "bom.ogg")), "bom");
    EXPECT_EQ(stream.GetTitle(FileWith({"TITLE=a\xF0\x9F\x8E\xB5z"}, "emoji.ogg")), "a\xFD\xF0\x9F\x8E\xB5z");
}

TEST_F(GetTitle, NoTitleGivesEmptyTextAndBadDataThrows)
{
    stream.Init(nullptr);
    EXPECT_EQ(stream.GetTitle(FileWith({"ARTIST=someone", "TITLES=no"}, "none.ogg")), "");
    EXPECT_EQ(stream.GetTitle(FileWith({}, "bare.ogg")), "");
    EXPECT_EQ(stream.GetTitle(fixture::TempDir() + "/missing.ogg"), "");
    EXPECT_EQ(stream.GetComments()->Count(), 0);
    const std::string text = fixture::WriteTemp(std::vector<uint8_t>(5000, 'x'), "text.ogg");
    EXPECT_THROW(stream.GetTitle(text), ERangeError);
    // Still usable afterwards, also without Init.
    TDSOggStream fresh;
    EXPECT_EQ(fresh.GetTitle(FileWith({"title=ok"}, "ok.ogg")), "ok");
}
