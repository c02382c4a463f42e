// Utf8ToSjis on arbitrary bytes, invalid UTF-8 included, and Utf16ToSjis on arbitrary units.
// The text ends at its first NUL, never grows past four bytes a unit (an escaped character), plain
// ASCII before any byte of 0x80 or more comes through unchanged, and the display text reads back
// as whole characters.
#include "CodePage.h"
#include "FuzzSupport.h"
#include "SjisConv.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::u16string units = Utf8ToUtf16(text);
    FUZZ_CHECK(units.find(u'\0') == std::u16string::npos);
    // A four-byte lead at the very end reads zeros behind it and may still give a pair.
    FUZZ_CHECK(units.size() <= size + 1);

    const std::string sjis = Utf8ToSjis(text);
    FUZZ_CHECK(sjis.find('\0') == std::string::npos);
    FUZZ_CHECK(sjis.size() <= 4 * units.size());
    size_t at = 0;
    while (at < sjis.size())
        at += CodePage::CharAt(sjis, at).Bytes;
    FUZZ_CHECK(at == sjis.size());

    size_t ascii = 0;
    while (ascii < size && data[ascii] != 0 && data[ascii] < 0x80)
        ++ascii;
    FUZZ_CHECK(sjis.compare(0, ascii, text.substr(0, ascii)) == 0);

    std::u16string raw(size / 2, u'\0');
    for (size_t i = 0; i < raw.size(); ++i)
        raw[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    const std::string fromUnits = Utf16ToSjis(raw);
    FUZZ_CHECK(fromUnits.find('\0') == std::string::npos);
    FUZZ_CHECK(fromUnits.size() <= 4 * raw.size());
    return 0;
}
