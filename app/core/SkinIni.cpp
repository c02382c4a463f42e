#include "SkinIni.h"

#include "ERangeError.h"
#include "TStringList.h"

#include <climits>
#include <vector>

namespace SkinIni {

namespace {
bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Blanks, a sign, digits, as atoi reads them. Past 2^31 the value stays there and overflow is
// set, so that the callers can saturate or refuse.
struct TScanned {
    int64_t value = 0;
    bool digits = false;
    bool overflow = false;
    size_t end = 0;  // the first byte not read
};

TScanned ScanInteger(const std::string& s)
{
    constexpr int64_t Limit = static_cast<int64_t>(INT32_MAX) + 1;
    TScanned r;
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    const size_t first = i;
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > Limit) {
            v = Limit;
            r.overflow = true;
        }
    }
    r.value = negative ? -v : v;
    r.digits = i > first;
    r.end = i;
    return r;
}

// atoi: stops at the first other byte. Saturates instead of overflowing.
int32_t AtoI(const std::string& s)
{
    const int64_t v = ScanInteger(s).value;
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : v);
}
}

uint32_t ParseSkinColor(const std::string& value)
{
    // The value goes through a 256-byte text buffer; longer text is refused rather than cut.
    if (value.size() > 255)
        throw ERangeError("スキンの色の値が長すぎます (" + std::to_string(value.size()) + " バイト)");
    // Like a C string, the value ends at its first NUL byte.
    const std::string text = value.substr(0, value.find('\0'));
    std::vector<std::string> pieces;
    size_t pos = 0;
    while (pieces.size() < 3) {
        while (pos < text.size() && text[pos] == ',')
            ++pos;
        if (pos >= text.size())
            break;
        const size_t end = text.find(',', pos);
        pieces.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        pos = end == std::string::npos ? text.size() : end + 1;
    }
    if (pieces.size() < 3)
        throw ERangeError("スキンの色の値 \"" + text + "\" には 3 つの数が要ります");
    const auto a = static_cast<uint32_t>(AtoI(pieces[0]));
    const auto b = static_cast<uint32_t>(AtoI(pieces[1]));
    const auto c = static_cast<uint32_t>(AtoI(pieces[2]));
    return (a << 16) | (b << 8) | c;
}

int32_t ReadInt(const TStringList& ini, const std::string& key)
{
    const std::string value = ini.Values(key);
    const TScanned n = ScanInteger(value);
    if (!n.digits || n.end != value.size() || n.overflow || n.value > INT32_MAX || n.value < INT32_MIN)
        throw ERangeError("skin.ini の " + key + " の値 \"" + value + "\" は整数ではありません");
    return static_cast<int32_t>(n.value);
}

uint32_t ReadColor(const TStringList& ini, const std::string& key)
{
    try {
        return ParseSkinColor(ini.Values(key));
    } catch (const ERangeError& e) {
        throw ERangeError("skin.ini の " + key + ": " + e.Message());
    }
}

}
