#pragma once
// The error of a file that cannot be opened, read, created or written.
#include <stdexcept>
#include <string>

class EFileError : public std::runtime_error {
public:
    explicit EFileError(const std::string& message) : std::runtime_error(message) {}
    EFileError(const std::string& message, const std::string& path, const std::string& reason, int error = 0)
        : std::runtime_error(message), path_(path), reason_(reason), error_(error)
    {
    }
    static EFileError CannotOpen(const std::string& path);
    static EFileError CannotCreate(const std::string& path);
    static EFileError CannotWrite(const std::string& path);
    // The unwritable-file message with why, e.g. the system's "No space left on device".
    static EFileError CannotWrite(const std::string& path, const std::string& reason);
    // The same for a failed system call: its errno, and strerror's words for it.
    static EFileError CannotWrite(const std::string& path, int error);
    std::string Message() const { return what(); }
    // The file and the reason alone, for tools that word their own message; empty when the
    // error was made without them.
    const std::string& Path() const { return path_; }
    const std::string& Reason() const { return reason_; }
    // The errno of the failed system call; 0 when the reason is not one.
    int Error() const { return error_; }

private:
    std::string path_;
    std::string reason_;
    int error_ = 0;
};
