#pragma once
// The conversion of Vorbis comments (UTF-8) to the display text the player shows (Shift-JIS, with
// an escape for what Shift-JIS lacks: see CodePage), also used for file names shown as titles. glibc iconv with the Windows code page CP932 does the character mapping;
// the process's locale is left alone.
#include <string>
#include <string_view>

// UTF-8 bytes up to the first NUL to UTF-16 units, without validation: a lead byte below 0x80
// gives itself, 110xxxxx takes two bytes, 11110xxx four (a surrogate pair), any other byte of
// 0x80 or more three. Bytes past the end count as 0; a 0 unit ends the result.
std::u16string Utf8ToUtf16(std::string_view text);

// UTF-16 units to display text (CodePage::Utf16ToDisplay): a leading byte-order mark (0xFEFF or
// 0xFFFE) gives nothing, a character without a Shift-JIS form its escape, a lone surrogate one
// space; a 0 unit ends the result.
std::string Utf16ToSjis(std::u16string_view units);

// Utf8ToUtf16, then Utf16ToSjis.
std::string Utf8ToSjis(std::string_view text);
