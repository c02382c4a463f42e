#pragma once
// The command table of qvtool. Each command lives in its own file and registers itself there:
//
//     static QvRegistrar registrar{"info", "info FILE", QvInfo};
//
// so that a command is added by adding its file (and listing it in CMakeLists.txt), and main.cpp
// never changes.
#include <cstdint>
#include <string>
#include <vector>

class EFileError;
class TOggData;

// Exit codes of every command.
enum QvExit : int { QvOk = 0, QvFailed = 1, QvUsage = 2 };

// A command gets the arguments after its name and returns an exit code. For wrong usage it
// returns QvUsage (main prints the usage); for a failure it writes the message to stderr and
// returns QvFailed, or throws, and main prints the message.
using QvRun = int (*)(const std::vector<std::string>& args);

struct QvCommand {
    std::string name;
    std::string usage;  // the arguments, as shown after "qvtool "
    QvRun run;
};

// The registered commands, sorted by name.
const std::vector<QvCommand>& QvCommands();

struct QvRegistrar {
    QvRegistrar(const char* name, const char* usage, QvRun run);
};

// What the commands share, defined in main.cpp.

// Loads the decoder library from the directory of the running program. Throws ERangeError.
void QvLoadDecoder();

// Loads the decoder library and then the file into data; when the file cannot be opened, says
// "FILE: reason" on stderr (no such file, not a regular file, not an Ogg Vorbis stream,
// truncated, with the engine's own words where it refused the data) and returns false.
bool QvOpen(TOggData& data, const std::string& fileName);
// The same words without saying them: "" when the file was loaded into data.
std::string QvOpenProblem(TOggData& data, const std::string& fileName);
// QvOpen on a copy of its own, for commands that open the file through something else.
bool QvReadable(const std::string& fileName);

// Whether a command may write `out`: never over one of its inputs (the same file, through links
// or hard links, even with --force), and over an existing file only with `force`. Says why not
// on stderr.
bool QvMayWrite(const std::string& out, const std::vector<std::string>& inputs, bool force);
// Writes header + body to `out` whole or not at all (through the atomic writer); without
// `force` an existing file, or one that appears meanwhile, is kept. Says why it failed on stderr.
bool QvSave(const std::string& out, const std::vector<uint8_t>& header, const std::vector<uint8_t>& body, bool force);
// "OUT: cannot write: No space left on device" for a failed write ("OUT: already exists" for
// a file that appeared meanwhile).
std::string QvWriteProblem(const EFileError& error);

// An argument that is none of the command's options: a file name, added to operands, unless it
// looks like an option ("--" and a name), which is said on stderr and refused (false).
bool QvTakeOperand(const std::string& arg, std::vector<std::string>& operands);

// A finite number written whole, e.g. "2.5" or "-1e3".
bool QvParseFloat(const std::string& text, float& out);
