// Display text that holds any character: Shift-JIS bytes, with an escape for the rest, and the
// caption rules counted in widths.
#include "CaptionText.h"
#include "CodePage.h"
#include "SjisConv.h"

#include <gtest/gtest.h>

namespace {
const std::string Cafe = "Caf\xFD\xC3\xA9";                                     // "Café"
const std::string Korean = "\xFD\xED\x95\x9C\xFD\xEA\xB5\xAD\xFD\xEC\x96\xB4";  // "한국어"
}

TEST(DisplayText, EveryCharacterShiftJisHoldsKeepsItsBytesAndWidth)
{
    int held = 0;
    for (char32_t c = 1; c < 0x10000; ++c) {
        const std::u16string unit(1, static_cast<char16_t>(c));
        const std::string sjis = CodePage::Utf16ToCp932(unit);
        if ((c >= 0xD800 && c <= 0xDFFF) || (sjis == " " && c != u' '))
            continue;
        ++held;
        ASSERT_EQ(Utf16ToSjis(unit), sjis) << std::hex << static_cast<uint32_t>(c);
        ASSERT_EQ(CodePage::Width(sjis), static_cast<int>(sjis.size())) << std::hex << static_cast<uint32_t>(c);
    }
    EXPECT_GT(held, 7000);
}

TEST(DisplayText, OtherCharactersAreEscapedShownAsThemselvesAndCountByWidth)
{
    EXPECT_EQ(Utf8ToSjis("Caf\xC3\xA9"), Cafe);
    EXPECT_EQ(Utf8ToSjis("\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4"), Korean);
    EXPECT_EQ(CodePage::Width(Cafe), 4);
    EXPECT_EQ(CodePage::Width(Korean), 6);
    EXPECT_EQ(CodePage::Width(Utf8ToSjis("\xF0\x9F\x8E\xB5")), 2);  // an emoji beyond the basic plane
    const std::string mixed = "\xE3\x83\x87\xE3\x83\xA2 Caf\xC3\xA9 \xED\x95\x9C \xF0\x9F\x8E\xB5";
    EXPECT_EQ(CodePage::Cp932ToUtf8(Utf8ToSjis(mixed)), mixed);
    // The escape byte alone, or before bytes that are no UTF-8 character, stays one broken byte.
    for (const std::string& text : {std::string("\xFD"), std::string("\xFD\xC3"), std::string("\xFD\xC0\x80")}) {
        EXPECT_EQ(CodePage::CharAt(text, 0).Bytes, 1u);
        EXPECT_EQ(CodePage::Cp932ToUtf8(text).substr(0, 3), "\xEF\xBF\xBD");
    }
}

TEST(CaptionText, PaddingScrollingAndCuttingCountWidths)
{
    EXPECT_EQ(CaptionText::PadCaption(Cafe), Cafe + std::string(17, ' '));
    EXPECT_EQ(CaptionText::PadCaption("[1] " + Korean), "[1] " + Korean + std::string(11, ' '));
    std::string wide;  // width 20
    for (int i = 0; i < 10; ++i)
        wide += "\xFD\xED\x95\x9C";
    EXPECT_EQ(CaptionText::PadCaption(wide + "x"), wide + "x    ");
    EXPECT_EQ(CaptionText::PadCaption(wide), wide + " ");

    // Scrolling moves a whole escaped character; a full turn gives the caption back.
    EXPECT_EQ(CaptionText::ScrollCaption(Korean + "a"), Korean.substr(4) + "a" + Korean.substr(0, 4));
    std::string turned = "\x83\x66" + Cafe + Korean;
    for (int i = 0; i < 1 + 4 + 3; ++i)
        turned = CaptionText::ScrollCaption(turned);
    EXPECT_EQ(turned, "\x83\x66" + Cafe + Korean);

    // Cutting to the tray tip's 63: a character that would pass it is left out whole.
    EXPECT_EQ(CaptionText::CutToWidth(std::string(62, 'b') + Korean, 63), std::string(62, 'b'));
    EXPECT_EQ(CaptionText::CutToWidth(std::string(61, 'b') + Korean, 63), std::string(61, 'b') + Korean.substr(0, 4));
    EXPECT_EQ(CaptionText::CutToWidth(std::string(60, 'b') + Cafe, 63), std::string(60, 'b') + "Caf");
    EXPECT_EQ(CaptionText::CutToWidth(std::string(62, 'b') + "\x82\xa0", 63), std::string(62, 'b'));
}
