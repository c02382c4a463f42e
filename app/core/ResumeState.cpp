#include "ResumeState.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ResumeState {

namespace {
const char ResumeLine[] = "#OSTRADIVUVIRAR-RESUME:";
const char ListWindowLine[] = "#OSTRADIVUVIRAR-LISTWINDOW:";
// A day of music is longer than any piece; a place past it is no place we wrote.
constexpr double MaxPosition = 86400.0;
constexpr int MaxSide = 100000;

// The value after prefix on the line starting at begin, when the line starts with it.
bool ValueOf(const std::string& bytes, size_t begin, size_t end, const char* prefix, size_t prefixSize,
             std::string& value)
{
    if (end - begin < prefixSize || bytes.compare(begin, prefixSize, prefix) != 0)
        return false;
    value = bytes.substr(begin + prefixSize, end - begin - prefixSize);
    return true;
}

// A whole decimal number of at most six digits, else -1.
int Side(const std::string& text)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    const int value = std::atoi(text.c_str());
    return value > 0 && value <= MaxSide ? value : -1;
}
}

std::string Lines(const TState& state)
{
    std::string text;
    if (state.position > 0.0 || state.paused) {
        char number[32];
        std::snprintf(number, sizeof number, "%.3f", std::isfinite(state.position) ? state.position : 0.0);
        text += std::string(ResumeLine) + number + (state.paused ? ",paused" : ",playing") + "\r\n";
    }
    if (state.listWidth > 0 && state.listHeight > 0)
        text += std::string(ListWindowLine) + std::to_string(state.listWidth) + "x" +
                std::to_string(state.listHeight) + "\r\n";
    return text;
}

TState Parse(const std::string& bytes)
{
    TState state;
    size_t begin = 0;
    while (begin < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", begin);
        if (end == std::string::npos)
            end = bytes.size();
        std::string value;
        if (ValueOf(bytes, begin, end, ResumeLine, sizeof ResumeLine - 1, value)) {
            const size_t comma = value.find(',');
            const std::string number = value.substr(0, comma);
            // Digits and one point only: no signs, exponents, "nan" or "inf" from strtod.
            if (!number.empty() && number.size() < 16 && number.find_first_not_of("0123456789.") == std::string::npos &&
                number.find('.') == number.rfind('.')) {
                const double at = std::strtod(number.c_str(), nullptr);
                if (std::isfinite(at) && at >= 0.0 && at <= MaxPosition)
                    state.position = at;
            }
            state.paused = comma != std::string::npos && value.substr(comma + 1) == "paused";
        } else if (ValueOf(bytes, begin, end, ListWindowLine, sizeof ListWindowLine - 1, value)) {
            const size_t x = value.find('x');
            const int width = x == std::string::npos ? -1 : Side(value.substr(0, x));
            const int height = x == std::string::npos ? -1 : Side(value.substr(x + 1));
            if (width > 0 && height > 0) {
                state.listWidth = width;
                state.listHeight = height;
            }
        }
        begin = end + 1;
    }
    return state;
}

}
