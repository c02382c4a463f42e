#pragma once
// The options the program answers before any window is made: --help and --version print to
// standard output and end the program with status 0. Everything else goes on to the player; the
// file names reach it through the intake (a file really named "--help" is played as "./--help").
#include <cstdio>
#include <optional>

namespace ProgramOptions {
// The exit status when the command line was answered here; nothing when the player is to start.
std::optional<int> Answer(int argc, const char* const* argv, std::FILE* out);
}
