#include "CaptionText.h"

#include "CodePage.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace CaptionText {

bool IsLeadByte(unsigned char b)
{
    return CodePage::IsLeadByte(b);
}

std::string WholeCharacters(const std::string& sjis)
{
    size_t i = 0;
    while (i < sjis.size()) {
        const bool lead = IsLeadByte(static_cast<unsigned char>(sjis[i]));
        if (lead && i + 1 >= sjis.size())
            break;
        i += CodePage::CharAt(sjis, i).Bytes;
    }
    return sjis.substr(0, i);
}

std::string CutToWidth(const std::string& text, int width)
{
    size_t i = 0;
    int used = 0;
    while (i < text.size()) {
        const CodePage::DisplayChar c = CodePage::CharAt(text, i);
        if (used + c.Width > width)
            break;
        used += c.Width;
        i += c.Bytes;
    }
    return WholeCharacters(text.substr(0, i));
}

int64_t Truncated(double value)
{
    if (!(value == value))
        return 0;
    return static_cast<int64_t>(std::clamp(value, -2.0e15, 2.0e15));
}

std::string TimeText(float seconds)
{
    // The product is taken in double: it is then exact for every float, so 0.7 s (a float just
    // below 0.7) shows its tenths as the value it really holds.
    const int64_t s = Truncated(seconds);
    return TimeText(s, Truncated(static_cast<double>(seconds) * 10.0) - s * 10);
}

std::string TimeText(int64_t seconds, int64_t tenths)
{
    // Ten times a second: written out by hand rather than through the formatter.
    if (seconds >= 0 && tenths >= 0 && tenths <= 9) {
        char text[32];
        char* end = std::to_chars(text, text + 24, seconds / 60).ptr;
        const int64_t s = seconds % 60;
        *end++ = ':';
        *end++ = static_cast<char>('0' + s / 10);
        *end++ = static_cast<char>('0' + s % 10);
        *end++ = '.';
        *end++ = static_cast<char>('0' + tenths);
        return std::string(text, end);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60), static_cast<long long>(tenths));
    return text;
}

std::string PadCaption(const std::string& sjis)
{
    const int width = CodePage::Width(sjis);
    if (width >= 21)
        return sjis + "    ";
    return sjis + std::string(static_cast<size_t>(21 - width), ' ');
}

std::string ScrollCaption(const std::string& sjis)
{
    if (sjis.empty())
        return sjis;
    const size_t n = CodePage::CharAt(sjis, 0).Bytes;
    return sjis.substr(n) + sjis.substr(0, n);
}

int Characters(const std::string& sjis)
{
    int n = 0;
    for (size_t i = 0; i < sjis.size(); i += std::max<size_t>(CodePage::CharAt(sjis, i).Bytes, 1))
        ++n;
    return n;
}

}
