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
// The same with its ASCII capitals made small (".Ogg" -> ".ogg"), for telling kinds of file
// apart whatever the case their names are written in.
std::string ExtractLowerFileExt(const std::string& path);
// True when a regular file (or a link to one) of that name exists.
bool FileExists(const std::string& path);
// The real directory of the running program (symbolic links resolved, so a link to the program
// elsewhere still finds its files), with trailing separator.
std::string ProgramDir();

// The file the install step leaves beside an installed program. Its presence is what makes a
// copy "installed"; who runs it (root included) and whether its folder is writable do not count.
inline constexpr const char* InstalledMarker = "installed";
// The directory of the settings file, with trailing separator. A portable copy (the build tree,
// a copied folder) keeps its settings beside itself, in appDir. An installed copy keeps them per
// user: $XDG_CONFIG_HOME/ostradivuvirar/, or ~/.config/ostradivuvirar/ when that variable is
// unset, empty or not absolute; appDir again when no home directory is known at all.
std::string SettingsDir(const std::string& appDir);
// SettingsDir, with the directory and any missing parents made first (0700, as is usual for a
// user's configuration), for writing. Failure is left to the write that follows.
std::string MakeSettingsDir(const std::string& appDir);
}
