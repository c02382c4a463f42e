#pragma once
// Path helpers. Paths are native text (UTF-8) and never converted. The separator is "/";
// the file-name part and the extension rule each live in one function, so that a platform
// with "\" and ":" separators changes only these.
#include <string>

namespace Paths {
// The full path name: relative names are taken against the current directory, "." and ".." resolved.
std::string ExpandFileName(const std::string& path);
// The process's current directory, without trailing separator; empty on failure.
std::string GetCurrentDir();
// Makes dir current; false when it cannot be made current.
bool SetCurrentDir(const std::string& dir);
// The directory part including its trailing separator ("" when the path has none).
std::string ExtractFilePath(const std::string& path);
// The file-name part: the text after the last separator; the whole path when it has none.
std::string ExtractFileName(const std::string& path);
// The extension rule: the text from the last "." to the end, provided no separator follows
// that "."; empty text otherwise.
std::string ExtractFileExt(const std::string& path);
// True when a regular file (or a link to one) of that name exists.
bool FileExists(const std::string& path);
// The directory of the running program, with trailing separator.
std::string ProgramDir();
}
