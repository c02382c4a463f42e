#include "RunProgram.h"

#include "OggFixture.h"

#include <atomic>
#include <cstdio>
#include <sys/wait.h>

namespace fixture {

namespace {
// One word for the shell, whatever bytes it holds.
std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args)
{
    static std::atomic<int> n{0};
    const std::string errPath = TempDir() + "/stderr" + std::to_string(++n);
    std::string cmd = Quote(program);
    for (const auto& a : args)
        cmd += ' ' + Quote(a);
    cmd += " 2>" + Quote(errPath);
    RunResult r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, got);
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.err = ReadText(errPath);
    return r;
}

RunResult RunQvtool(const std::vector<std::string>& args)
{
    return RunProgram(BinDir() + "/qvtool", args);
}

}
