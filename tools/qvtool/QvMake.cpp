// qvtool make IN OUT [--loop START:END:COUNT]...: writes IN as a looped-Ogg container. A
// container given as IN keeps its table unless loops are given, which replace the whole table.
#include "QvCommand.h"

#include "OggDataLib.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace {

bool ParseInt32(const std::string& text, int32_t& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
        return false;
    out = static_cast<int32_t>(v);
    return true;
}

// START:END:COUNT, e.g. "10.5:20:-1".
bool ParseLoop(const std::string& text, TOggLoop& out)
{
    size_t a = text.find(':');
    size_t b = a == std::string::npos ? a : text.find(':', a + 1);
    if (b == std::string::npos || text.find(':', b + 1) != std::string::npos)
        return false;
    return QvParseFloat(text.substr(0, a), out.LoopStart) &&
           QvParseFloat(text.substr(a + 1, b - a - 1), out.LoopEnd) && ParseInt32(text.substr(b + 1), out.RepeatCount);
}

int QvMake(const std::vector<std::string>& args)
{
    std::vector<std::string> files;
    std::vector<TOggLoop> loops;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--loop") {
            TOggLoop l{};
            if (i + 1 >= args.size() || !ParseLoop(args[i + 1], l)) {
                std::fprintf(stderr, "--loop wants START:END:COUNT\n");
                return QvUsage;
            }
            loops.push_back(l);
            ++i;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2)
        return QvUsage;
    if (loops.size() > 16) {
        std::fprintf(stderr, "a container holds at most 16 loops\n");
        return QvUsage;
    }
    TOggData data(0);
    if (!QvOpen(data, files[0]))
        return QvFailed;
    if (!loops.empty()) {
        for (auto& l : data.Loops)
            l = TOggLoop{0.0f, 0.0f, 0};
        for (size_t i = 0; i < loops.size(); ++i)
            data.Loops[i] = loops[i];
    }
    if (!data.SaveOstraOgg(files[1])) {
        std::fprintf(stderr, "書き込めません: %s\n", files[1].c_str());
        return QvFailed;
    }
    return QvOk;
}

QvRegistrar registrar{"make", "make IN OUT [--loop START:END:COUNT]...", QvMake};

}
