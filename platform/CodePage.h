#pragma once
// Conversions between Unicode and the Windows Japanese code page (CP932, Shift-JIS with the
// Windows extensions) through glibc iconv. They neither read nor change the process's locale, and
// each thread keeps its own conversion handles, so any thread may call them at any time.
#include <string>
#include <string_view>

namespace CodePage {

// UTF-16 units to CP932 bytes, one character at a time: a character with a CP932 form gives its
// one or two bytes, any other (including a lone surrogate, or a pair outside the basic plane,
// which CP932 never covers) gives one space. A 0 unit ends the text.
std::string Utf16ToCp932(std::u16string_view units);

// CP932 bytes to UTF-8, for showing Shift-JIS text in the user interface. A byte that does not
// start a valid CP932 character gives U+FFFD and the conversion goes on with the next byte.
std::string Cp932ToUtf8(std::string_view bytes);

}
