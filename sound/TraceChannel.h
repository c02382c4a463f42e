#pragma once
// The diagnostic trace of the sound classes. Silent unless the environment variable OSTRA_TRACE
// is "1": then every line goes to standard error as it is, for a developer to follow the device
// and the stream player step by step. The variable is read once, at the first line; while the
// trace is off a line costs one test of that flag, and a line with a value is not formatted.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

class TTraceChannel {
public:
    // Names the log ("_DXSound.debug", "_DSOggStream.debug"). Every channel writes to the same
    // standard error, where the lines speak for themselves, so the name is not written.
    void TraceOpen(const char* /*name*/) {}

    // Writes one line.
    void Trace(const char* line)
    {
        if (Enabled()) {
            std::fputs(line, stderr);
        }
    }
    void Trace(const std::string& line) { Trace(line.c_str()); }
    // Writes one line with one text or number filled in (see Format).
    template <typename T>
    void Trace(const char* format, T value)
    {
        if (Enabled()) {
            Trace(Format(format, value));
        }
    }

    // A line with one text or number filled in, as sprintf would, but with no length limit.
    template <typename T>
    static std::string Format(const char* format, T value)
    {
        const int n = std::snprintf(nullptr, 0, format, value);
        if (n <= 0) {
            return std::string();
        }
        std::string line(static_cast<size_t>(n), '\0');
        std::snprintf(line.data(), line.size() + 1, format, value);
        return line;
    }

    // True when OSTRA_TRACE was "1" at the first line traced.
    static bool Enabled()
    {
        static const bool on = [] {
            const char* value = std::getenv("OSTRA_TRACE");
            return value != nullptr && std::strcmp(value, "1") == 0;
        }();
        return on;
    }
};
