#pragma once
// The error of a file that cannot be opened, read, created or written.
#include <stdexcept>
#include <string>

class EFileError : public std::runtime_error {
public:
    explicit EFileError(const std::string& message) : std::runtime_error(message) {}
    static EFileError CannotOpen(const std::string& path);
    static EFileError CannotCreate(const std::string& path);
    static EFileError CannotWrite(const std::string& path);
    std::string Message() const { return what(); }
};
