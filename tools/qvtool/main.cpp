// qvtool: a command-line tool over the engine. See QvCommand.h for how commands are added.
#include "QvCommand.h"

#include "EFileError.h"
#include "ERangeError.h"
#include "OggDataLib.h"
#include "OggDiagnosis.h"
#include "OggWuvorbisLib.h"
#include "OstraVersion.h"
#include "Paths.h"
#include "QvWriter.h"
#include "TRegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

namespace {
// What the bytes of a file say about it; Whole when they cannot be read again.
TOggDiagnosis::TKind Diagnose(const std::string& fileName, int64_t size)
{
    try {
        const auto bytes = TRegularFile::Read(fileName, size);
        return TOggDiagnosis::Of(bytes.data(), bytes.size());
    } catch (const EFileError&) {
        return TOggDiagnosis::Whole;
    }
}
}

std::string QvOpenProblem(TOggData& data, const std::string& fileName)
{
    QvLoadDecoder();
    // What stands under the name, opened as the engine will open it (a FIFO without waiting).
    struct stat st {};
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return fileName + ": " + (errno == ENOENT ? std::string("no such file") : std::strerror(errno));
    const bool known = ::fstat(fd, &st) == 0;
    ::close(fd);
    if (known && !S_ISREG(st.st_mode)) {
        const char* what = S_ISDIR(st.st_mode)                          ? "a directory"
                           : S_ISFIFO(st.st_mode)                       ? "a named pipe"
                           : S_ISSOCK(st.st_mode)                       ? "a socket"
                           : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                        : "something else";
        return fileName + ": not a regular file (" + what + ")";
    }
    try {
        if (data.LoadOgg(fileName)) {
            // The engine plays the whole pages of a stream whose last page is cut off; the user
            // hears a shorter piece and is told why.
            if (data.FileData && known && data.FileData->Size() < st.st_size &&
                Diagnose(fileName, st.st_size) == TOggDiagnosis::LastPageCut)
                std::fprintf(stderr, "%s: %s; the whole pages before it are used\n", fileName.c_str(),
                             TOggDiagnosis::Words(TOggDiagnosis::LastPageCut).c_str());
            return {};
        }
        return fileName + ": cannot be read";
    } catch (const ERangeError& e) {
        // The engine says only that it failed; the bytes say why.
        const TOggDiagnosis::TKind kind = Diagnose(fileName, st.st_size);
        const std::string why = kind == TOggDiagnosis::Whole ? "not an Ogg Vorbis file" : TOggDiagnosis::Words(kind);
        return fileName + ": " + why + " (" + e.what() + ")";
    } catch (const EFileError& e) {
        return fileName + ": cannot be read (" + e.what() + ")";
    }
}

bool QvOpen(TOggData& data, const std::string& fileName)
{
    const std::string problem = QvOpenProblem(data, fileName);
    if (problem.empty())
        return true;
    std::fprintf(stderr, "%s\n", problem.c_str());
    return false;
}

bool QvReadable(const std::string& fileName)
{
    TOggData data(0);
    return QvOpen(data, fileName);
}

bool QvMayWrite(const std::string& out, const std::vector<std::string>& inputs, bool force)
{
    // Compared as files, through links: "a.ogg", "./a.ogg", a link to it and a hard link of it
    // are all the input.
    struct stat o {};
    if (::stat(out.c_str(), &o) == 0)
        for (const auto& in : inputs) {
            struct stat i {};
            if (::stat(in.c_str(), &i) == 0 && i.st_dev == o.st_dev && i.st_ino == o.st_ino) {
                std::fprintf(stderr, "%s: is the input %s; not written over, not even with --force\n", out.c_str(),
                             in.c_str());
                return false;
            }
        }
    // A link, dangling or not, is something the user put there.
    if (!force && ::lstat(out.c_str(), &o) == 0) {
        std::fprintf(stderr, "%s: already exists (--force replaces it)\n", out.c_str());
        return false;
    }
    return true;
}

std::string QvWriteProblem(const EFileError& e)
{
    if (e.Error() == EEXIST)
        return e.Path() + ": already exists (--force replaces it)";
    return e.Path() + ": cannot write: " + e.Reason();
}

bool QvSave(const std::string& out, const std::vector<uint8_t>& header, const std::vector<uint8_t>& body, bool force)
{
    try {
        TQvWriter::Save(out, header, body, force);
        return true;
    } catch (const EFileError& e) {
        std::fprintf(stderr, "%s\n", QvWriteProblem(e).c_str());
        return false;
    }
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
    if (args.empty()) {
        PrintUsage(stderr);
        return QvUsage;
    }
    const QvCommand* command = nullptr;
    for (const auto& c : QvCommands())
        if (c.name == args[0])
            command = &c;
    if (!command) {
        std::fprintf(stderr, "unknown command: %s\n", args[0].c_str());
        PrintUsage(stderr);
        return QvUsage;
    }
    // "qvtool import --help": that command's usage alone.
    for (size_t i = 1; i < args.size(); ++i)
        if (args[i] == "--help" || args[i] == "-h") {
            std::printf("usage: qvtool %s\n", command->usage.c_str());
            return QvOk;
        }
    int code = QvFailed;
    try {
        code = command->run(std::vector<std::string>(args.begin() + 1, args.end()));
    } catch (const EFileError& e) {
        if (e.Path().empty())
            std::fprintf(stderr, "%s\n", e.what());
        else
            std::fprintf(stderr, "%s\n", QvWriteProblem(e).c_str());
        code = QvFailed;
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
