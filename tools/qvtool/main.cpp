// qvtool: a command-line tool over the engine. See QvCommand.h for how commands are added.
#include "QvCommand.h"

#include "OggDataLib.h"
#include "OggWuvorbisLib.h"
#include "OstraVersion.h"
#include "Paths.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {
std::vector<QvCommand>& Table()
{
    static std::vector<QvCommand> table;
    return table;
}

void PrintUsage(std::FILE* to)
{
    bool first = true;
    for (const auto& c : QvCommands()) {
        std::fprintf(to, "%s qvtool %s\n", first ? "usage:" : "      ", c.usage.c_str());
        first = false;
    }
    std::fprintf(to, "       qvtool --help\n       qvtool --version\n");
}
}

QvRegistrar::QvRegistrar(const char* name, const char* usage, QvRun run)
{
    Table().push_back(QvCommand{name, usage, run});
    std::sort(Table().begin(), Table().end(), [](const QvCommand& a, const QvCommand& b) { return a.name < b.name; });
}

const std::vector<QvCommand>& QvCommands() { return Table(); }

void QvLoadDecoder() { _VorbisfileInitialize(Paths::ProgramDir() + "wuvorbis.dll"); }

bool QvOpen(TOggData& data, const std::string& fileName)
{
    QvLoadDecoder();
    if (data.LoadOgg(fileName))
        return true;
    std::fprintf(stderr, "ファイルを開けません: %s\n", fileName.c_str());
    return false;
}

bool QvParseFloat(const std::string& text, float& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtof(text.c_str(), &end);
    return errno == 0 && *end == '\0' && std::isfinite(out);
}

bool QvTakeOperand(const std::string& arg, std::vector<std::string>& operands)
{
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
        std::fprintf(stderr, "unknown option %s\n", arg.c_str());
        return false;
    }
    operands.push_back(arg);
    return true;
}

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        PrintUsage(stdout);
        return QvOk;
    }
    if (args.size() == 1 && args[0] == "--version") {
        std::printf("qvtool %s\n", OSTRA_VERSION);
        return QvOk;
    }
    const QvCommand* command = nullptr;
    if (!args.empty())
        for (const auto& c : QvCommands())
            if (c.name == args[0])
                command = &c;
    if (!command) {
        PrintUsage(stderr);
        return QvUsage;
    }
    int code = QvFailed;
    try {
        code = command->run(std::vector<std::string>(args.begin() + 1, args.end()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        code = QvFailed;
    }
    if (code == QvUsage)
        PrintUsage(stderr);
    std::fflush(stdout);
    _VorbisfileFinalize();
    return code;
}
