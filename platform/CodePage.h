#pragma once
// Conversions between Unicode and the Windows Japanese code page (CP932, Shift-JIS with the
// Windows extensions) through glibc iconv. They neither read nor change the process's locale, and
// each thread keeps its own conversion handles, so any thread may call them at any time.
#include <cstddef>
#include <string>
#include <string_view>

namespace CodePage {

// UTF-16 units to CP932 bytes, one character at a time: a character with a CP932 form gives its
// one or two bytes, any other (including a lone surrogate, or a pair outside the basic plane,
// which CP932 never covers) gives one space. A 0 unit ends the text.
std::string Utf16ToCp932(std::u16string_view units);

// Display text is CP932 with one addition, so that every name can be shown as itself: a
// character CP932 has no form for is written as EscapeByte followed by the character's UTF-8
// bytes. EscapeByte never begins a CP932 character, so text without it is plain CP932 and
// keeps its meaning byte for byte. Display text counts widths, not bytes: a CP932 character
// counts its length (1 or 2), an escaped one 2 when it is East Asian Wide or Fullwidth, else 1.
inline constexpr unsigned char EscapeByte = 0xFD;

// UTF-16 units to display text: as Utf16ToCp932, with the escape in place of the space for a
// character CP932 has no form for. A lone surrogate, which is no character, still gives a space.
std::string Utf16ToDisplay(std::u16string_view units);

// Appends the UTF-8 form of the character c (at most U+10FFFF) to out.
void AppendUtf8(std::string& out, char32_t c);

// CP932 bytes (display text) to UTF-8, for showing them in the user interface. A byte that does
// not start a valid CP932 character or escape gives U+FFFD and the conversion goes on with the
// next byte.
std::string Cp932ToUtf8(std::string_view bytes);

// A lead byte of a double-byte character in CP932.
bool IsLeadByte(unsigned char b);
// True for a character shown in two cells (East Asian Wide or Fullwidth).
bool IsWide(char32_t c);

// One character of display text: its length in bytes and its width.
struct DisplayChar {
    size_t Bytes;
    int Width;
    bool Escaped;
};
// The character starting at byte i: an escape followed by a well-formed UTF-8 sequence, a lead
// byte with a byte after it (2 bytes), or any other single byte. {0, 0} at or past the end.
DisplayChar CharAt(std::string_view text, size_t i);
// The sum of the widths of the text's characters; the byte count for text without escapes.
int Width(std::string_view text);

}
