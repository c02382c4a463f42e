#include "SjisConv.h"

#include "CodePage.h"

#include <cstdint>

std::u16string Utf8ToUtf16(std::string_view text)
{
    const size_t end = text.find('\0');
    if (end != std::string_view::npos) {
        text = text.substr(0, end);
    }
    auto at = [&](size_t i) -> uint32_t { return i < text.size() ? static_cast<uint8_t>(text[i]) : 0u; };

    std::u16string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const uint32_t b0 = at(i);
        if (b0 < 0x80) {
            out += static_cast<char16_t>(b0 & 0x7F);
            i += 1;
        } else if ((b0 & 0xE0) == 0xC0) {
            out += static_cast<char16_t>(((b0 & 0x1F) << 6) | (at(i + 1) & 0x3F));
            i += 2;
        } else if ((b0 & 0xF8) == 0xF0) {
            // A four-byte sequence is one character beyond the basic plane. Read as three bytes it
            // would swallow the first byte of the next character and turn into unrelated text.
            const uint32_t cp = ((b0 & 0x07) << 18) | ((at(i + 1) & 0x3F) << 12) | ((at(i + 2) & 0x3F) << 6) |
                                (at(i + 3) & 0x3F);
            if (cp >= 0x10000 && cp <= 0x10FFFF) {
                out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
                out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            } else {
                out += u'\uFFFD';
            }
            i += 4;
        } else {
            out += static_cast<char16_t>(((b0 & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) | (at(i + 2) & 0x3F));
            i += 3;
        }
    }
    const size_t zero = out.find(u'\0');
    if (zero != std::u16string::npos) {
        out.resize(zero);
    }
    return out;
}

std::string Utf16ToSjis(std::u16string_view units)
{
    if (!units.empty() && (units[0] == 0xFEFF || units[0] == 0xFFFE)) {
        units.remove_prefix(1);
    }
    return CodePage::Utf16ToDisplay(units);
}

std::string Utf8ToSjis(std::string_view text)
{
    return Utf16ToSjis(Utf8ToUtf16(text));
}
