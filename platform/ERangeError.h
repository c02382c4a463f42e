#pragma once
// The error the engine's loaders, the decoder binding and the readers of skins raise.
// It carries a ready-formatted message (UTF-8) that the program shows as it stands.
#include <stdexcept>
#include <string>

class ERangeError : public std::runtime_error {
public:
    explicit ERangeError(const std::string& message) : std::runtime_error(message) {}
    // printf-style formatting of the message, as the callers build it ("関数(%s)の所得に失敗しました").
    static ERangeError CreateFmt(const char* format, const std::string& arg);
    std::string Message() const { return what(); }
};
