#include "CodePage.h"

#include <algorithm>
#include <cerrno>
#include <iconv.h>

namespace {

// One iconv handle per thread and direction: iconv_t keeps conversion state and must not be used
// by two threads at once, and opening one per call would repeat the converter lookup.
class TIconv {
public:
    TIconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~TIconv()
    {
        if (Valid()) {
            iconv_close(cd_);
        }
    }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    void ResetState() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }
    size_t Convert(char** in, size_t* inLeft, char** out, size_t* outLeft) { return iconv(cd_, in, inLeft, out, outLeft); }

private:
    iconv_t cd_;
};

TIconv& ToCp932()
{
    thread_local TIconv cd("CP932", "UTF-16LE");
    return cd;
}

TIconv& FromCp932()
{
    thread_local TIconv cd("UTF-8", "CP932");
    return cd;
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }


// The UTF-8 sequence at the start of bytes: its length and character, or 0 when it is not a
// well-formed sequence of a character above U+007F (overlong forms and surrogates refused).
size_t ReadUtf8(std::string_view bytes, char32_t& c)
{
    if (bytes.empty())
        return 0;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    size_t n = 0;
    char32_t min = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        n = 2, c = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        n = 3, c = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        n = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (bytes.size() < n)
        return 0;
    for (size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(bytes[k]);
        if ((b & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return 0;
    return n;
}

// East Asian Wide and Fullwidth characters: those shown in two cells.
constexpr char32_t WideRanges[][2] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1AFF0, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F202},
    {0x1F210, 0x1F23B}, {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265}, {0x1F300, 0x1F320},
    {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3},
    {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC},
    {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596},
    {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
    {0x1F6D5, 0x1F6D7}, {0x1F6DC, 0x1F6DF}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB},
    {0x1F7F0, 0x1F7F0}, {0x1F90C, 0x1F93A}, {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// A character CP932 has no form for: one space, or in display text its escape.
void Other(std::string& out, char32_t c, bool escape)
{
    if (!escape) {
        out += ' ';
        return;
    }
    out += static_cast<char>(CodePage::EscapeByte);
    CodePage::AppendUtf8(out, c);
}

std::string FromUtf16(std::u16string_view units, bool escape)
{
    std::string out;
    out.reserve(units.size() * 2);
    TIconv& cd = ToCp932();
    for (size_t i = 0; i < units.size() && units[i] != 0;) {
        const char16_t u = units[i];
        if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            // outside the basic plane: CP932 has no such character
            Other(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00), escape);
            i += 2;
            continue;
        }
        ++i;
        if (u < 0x80) {
            out += static_cast<char>(u);  // CP932 keeps ASCII as it is
            continue;
        }
        if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            out += ' ';  // half a pair is no character at all
            continue;
        }
        if (!cd.Valid()) {
            Other(out, u, escape);
            continue;
        }
        char in[2] = {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
        char buf[8];
        char* inPtr = in;
        size_t inLeft = sizeof in;
        char* outPtr = buf;
        size_t outLeft = sizeof buf;
        cd.ResetState();
        const size_t r = cd.Convert(&inPtr, &inLeft, &outPtr, &outLeft);
        const size_t made = sizeof buf - outLeft;
        if (r == static_cast<size_t>(-1) || inLeft != 0 || made < 1 || made > 2 ||
            static_cast<unsigned char>(buf[0]) == CodePage::EscapeByte) {
            Other(out, u, escape);
        } else {
            out.append(buf, made);
        }
    }
    return out;
}


}

namespace CodePage {

void AppendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string Utf16ToCp932(std::u16string_view units)
{
    return FromUtf16(units, false);
}

std::string Utf16ToDisplay(std::u16string_view units)
{
    return FromUtf16(units, true);
}

std::string Cp932ToUtf8(std::string_view bytes)
{
    static constexpr char Replacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(bytes.size() * 3 / 2 + 4);
    TIconv& cd = FromCp932();
    size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const DisplayChar ch = CharAt(bytes, i);
        if (ch.Escaped) {
            out.append(bytes.substr(i + 1, ch.Bytes - 1));
            i += ch.Bytes;
            continue;
        }
        if (b < 0x80 || !cd.Valid()) {
            out += b < 0x80 ? static_cast<char>(b) : '?';
            ++i;
            continue;
        }
        // One character at a time keeps the error handling exact: a lead byte takes at most
        // one trail byte.
        const size_t take = std::min<size_t>(2, bytes.size() - i);
        char in[2] = {bytes[i], take > 1 ? bytes[i + 1] : '\0'};
        char buf[8];
        bool done = false;
        for (size_t n = 1; n <= take && !done; ++n) {
            char* inPtr = in;
            size_t inLeft = n;
            char* outPtr = buf;
            size_t outLeft = sizeof buf;
            cd.ResetState();
            const size_t r = cd.Convert(&inPtr, &inLeft, &outPtr, &outLeft);
            if (r != static_cast<size_t>(-1) && inLeft == 0 && outLeft < sizeof buf) {
                out.append(buf, sizeof buf - outLeft);
                i += n;
                done = true;
            } else if (r == static_cast<size_t>(-1) && errno == EILSEQ) {
                break;
            }
        }
        if (!done) {
            out += Replacement;
            ++i;
        }
    }
    return out;
}

bool IsLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool IsWide(char32_t c)
{
    for (const auto& r : WideRanges) {
        if (c < r[0])
            return false;
        if (c <= r[1])
            return true;
    }
    return false;
}

DisplayChar CharAt(std::string_view text, size_t i)
{
    if (i >= text.size())
        return {0, 0, false};
    const auto b = static_cast<unsigned char>(text[i]);
    if (b == EscapeByte) {
        char32_t c = 0;
        const size_t n = ReadUtf8(text.substr(i + 1), c);
        if (n != 0)
            return {1 + n, IsWide(c) ? 2 : 1, true};
    }
    if (IsLeadByte(b) && i + 1 < text.size())
        return {2, 2, false};
    return {1, 1, false};
}

int Width(std::string_view text)
{
    int width = 0;
    for (size_t i = 0; i < text.size(); i += CharAt(text, i).Bytes)
        width += CharAt(text, i).Width;
    return width;
}

}
