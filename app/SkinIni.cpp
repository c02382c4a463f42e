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

// atoi: blanks, a sign, digits; stops at the first other byte. Saturates instead of overflowing.
int32_t AtoI(const std::string& s)
{
    size_t i = 0;
    while (i < s.size() && IsSpace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int64_t v = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        v = v * 10 + (s[i] - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1)
            v = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative)
        v = -v;
    if (v > INT32_MAX)
        v = INT32_MAX;
    return static_cast<int32_t>(v);
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
    size_t i = 0;
    while (i < value.size() && IsSpace(value[i]))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-'))
        negative = value[i++] == '-';
    const size_t digits = i;
    int64_t v = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        v = v * 10 + (value[i] - '0');
        if (v > static_cast<int64_t>(INT32_MAX) + 1)
            break;
    }
    if (negative)
        v = -v;
    if (i == digits || i != value.size() || v > INT32_MAX || v < INT32_MIN)
        throw ERangeError("skin.ini の " + key + " の値 \"" + value + "\" は整数ではありません");
    return static_cast<int32_t>(v);
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
