#pragma once
// The system would not give the program something it needs to run at all: memory, a thread, a
// file descriptor, or the sound device for want of one of those. Unlike a file that cannot be
// played, this is no reason to go on to the next entry: the program says so and ends with
// ExitStatus.
#include <stdexcept>
#include <string>

class EResourceError : public std::runtime_error {
public:
    explicit EResourceError(const std::string& message) : std::runtime_error(message) {}
    // The exit status of a program that ends for want of a resource (sysexits' EX_OSERR).
    static constexpr int ExitStatus = 71;
    // The message for a std::bad_alloc, where no better one is at hand.
    static std::string OutOfMemoryText();
};
