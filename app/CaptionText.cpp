#include "CaptionText.h"

#include <algorithm>
#include <cstdio>

namespace CaptionText {

bool IsLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

std::string WholeCharacters(const std::string& sjis)
{
    size_t i = 0;
    while (i < sjis.size()) {
        const bool lead = IsLeadByte(static_cast<unsigned char>(sjis[i]));
        if (lead && i + 1 >= sjis.size())
            break;
        i += lead ? 2 : 1;
    }
    return sjis.substr(0, i);
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
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60), static_cast<long long>(tenths));
    return text;
}

std::string PadCaption(const std::string& sjis)
{
    if (sjis.size() >= 21)
        return sjis + "    ";
    return sjis + std::string(21 - sjis.size(), ' ');
}

std::string ScrollCaption(const std::string& sjis)
{
    if (sjis.empty())
        return sjis;
    const size_t n = std::min<size_t>(IsLeadByte(static_cast<unsigned char>(sjis[0])) ? 2 : 1, sjis.size());
    return sjis.substr(n) + sjis.substr(0, n);
}

}
