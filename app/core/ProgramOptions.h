#pragma once
// The command line. --help and --version are answered before any window is made and end the
// program with status 0; an option nobody knows ends it with status 2 and a line on standard
// error, so that a mistyped option is never taken for a file. "--" ends the options: every
// word after it is a name, even one that starts with "-". Qt's own options (-platform, -style,
// -display and their kind) are left to Qt.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace ProgramOptions {
// The exit status when the command line was answered here (help, version or an error, written
// to out and err); nothing when the player is to start.
std::optional<int> Answer(int argc, const char* const* argv, std::FILE* out, std::FILE* err = stderr);
// The file and folder names among the words after the program's name (our options taken out,
// the first "--" too).
std::vector<std::string> Names(const std::vector<std::string>& args);
// --new-instance was given before any "--".
bool NewInstance(const std::vector<std::string>& args);
}
