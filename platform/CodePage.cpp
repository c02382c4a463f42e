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

}

namespace CodePage {

std::string Utf16ToCp932(std::u16string_view units)
{
    std::string out;
    out.reserve(units.size() * 2);
    TIconv& cd = ToCp932();
    for (size_t i = 0; i < units.size() && units[i] != 0;) {
        const char16_t u = units[i];
        if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            out += ' ';  // outside the basic plane: CP932 has no such character
            i += 2;
            continue;
        }
        ++i;
        if (u < 0x80) {
            out += static_cast<char>(u);  // CP932 keeps ASCII as it is
            continue;
        }
        if (!cd.Valid() || IsHighSurrogate(u) || IsLowSurrogate(u)) {
            out += ' ';
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
        if (r == static_cast<size_t>(-1) || inLeft != 0 || made < 1 || made > 2) {
            out += ' ';
        } else {
            out.append(buf, made);
        }
    }
    return out;
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

}
