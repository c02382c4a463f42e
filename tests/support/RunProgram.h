#pragma once
// Running a program of the build (or a stock one) as a process, as a user would from a shell.
#include <string>
#include <vector>

namespace fixture {

struct RunResult {
    int code = -1;    // the exit status; -1 when the program did not end normally
    std::string out;  // what it wrote to standard output
    std::string err;  // and to standard error
};

// Runs program with args (each passed as one word, unchanged) and waits for it to end.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args);
// The same for the build's qvtool.
RunResult RunQvtool(const std::vector<std::string>& args);

}
