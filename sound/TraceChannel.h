#pragma once
// The diagnostic trace of the sound classes. Both operations are deliberately empty: nothing reads
// the trace, and a sound object must not create files or write output on its own. The lines are
// still built at each step, so a developer can route them somewhere while debugging.
#include <cstdio>
#include <string>

class TTraceChannel {
public:
    // Names the log ("_DXSound.debug", "_DSOggStream.debug").
    void TraceOpen(const char* /*name*/) {}
    // Writes one line.
    void Trace(const char* /*line*/) {}
    void Trace(const std::string& line) { Trace(line.c_str()); }

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
};
