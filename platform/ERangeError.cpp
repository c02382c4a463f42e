#include "ERangeError.h"

#include <cstdio>
#include <vector>

ERangeError ERangeError::CreateFmt(const char* format, const std::string& arg)
{
    int n = std::snprintf(nullptr, 0, format, arg.c_str());
    if (n < 0)
        return ERangeError(format);
    std::vector<char> buf(static_cast<size_t>(n) + 1);
    std::snprintf(buf.data(), buf.size(), format, arg.c_str());
    return ERangeError(std::string(buf.data(), static_cast<size_t>(n)));
}
