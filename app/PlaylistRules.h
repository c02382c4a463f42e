#pragma once
// The playlist's file rules, free of Qt so that the playlist reader can be fuzzed on its own:
// which names are taken as audio entries or as playlists, and the .m3u form read and written.
// Paths and playlist lines are native bytes throughout; nothing here converts them.
#include <string>
#include <vector>

class TStringList;

namespace PlaylistRules {

// ".ogg", ".qv", ".OGG" or ".QV", compared byte for byte: a mixed-case extension is refused.
bool IsAudioExt(const std::string& ext);
// The name's extension (by the one extension rule of Paths) is an accepted audio extension.
bool IsAudioName(const std::string& name);
// ".m3u" in small letters only; the playlist window's drop recognises nothing else.
bool IsSmallM3uName(const std::string& name);
// ".m3u" or ".M3U", as the main window's intake takes them.
bool IsM3uName(const std::string& name);

// The entries of an .m3u read as lines: every line whose extension is an accepted audio
// extension, whole and in order; everything else (empty lines, #EXTINF lines that do not end
// in an accepted extension, other files) is left out.
std::vector<std::string> EntriesOf(const TStringList& lines);
// The same from the file's bytes (CR, LF or CR LF line ends; a last line without an end counts).
std::vector<std::string> ParseM3u(const std::string& bytes);

// The written form: every path followed by CR LF, and nothing else; no paths, no bytes.
std::string M3uText(const std::vector<std::string>& paths);
// Writes the playlist beside the file and renames it into place, so the old file stays whole
// when the write fails. Throws EFileError when it cannot be written.
void SaveM3u(const std::string& fileName, const std::vector<std::string>& paths);

}
