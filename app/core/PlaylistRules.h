#pragma once
// The playlist's file rules, free of Qt so that the playlist reader can be fuzzed on its own:
// which names are taken as audio entries or as playlists, the .m3u form read and written, and
// where an entry written by another program points. Paths and playlist lines are native bytes
// throughout; nothing here converts them.
#include <string>
#include <vector>

class TStringList;

namespace PlaylistRules {

// ".ogg", ".qv", ".OGG" or ".QV", compared byte for byte: a mixed-case extension is refused.
bool IsAudioExt(const std::string& ext);
// The name's extension (by the one extension rule of Paths) is an accepted audio extension.
bool IsAudioName(const std::string& name);
// ".m3u" or ".m3u8" in small letters only; the playlist window's drop recognises nothing else.
bool IsSmallM3uName(const std::string& name);
// ".m3u", ".M3U", ".m3u8" or ".M3U8", as the main window's intake takes them. A ".m3u8" is
// UTF-8 by definition, which is what native names are here, so both are read the same way.
bool IsM3uName(const std::string& name);

// The entries of an .m3u read as lines: every line whose extension is an accepted audio
// extension, whole and in order; everything else (empty lines, #EXTINF lines that do not end
// in an accepted extension, other files) is left out.
std::vector<std::string> EntriesOf(const TStringList& lines);
// The same from the file's bytes (CR, LF or CR LF line ends; a last line without an end counts).
std::vector<std::string> ParseM3u(const std::string& bytes);
// Playlists written on other systems often start with a UTF-8 byte-order mark; it belongs to
// no name, so it is taken off the first line.
void DropByteOrderMark(TStringList& lines);

// Where an entry line of the playlist in playlistDir (with or without trailing "/") points.
// A line naming an existing file as written is taken unchanged, so lists that worked before
// still give the same paths. Otherwise the first of these that names an existing file:
//   1. the line relative to the playlist's own folder;
//   2. the line as a local file:// URI, decoded;
//   3. the line with "\" read as "/", as written and then relative to the folder.
// When none exists the line stays as written: the entry is listed and fails when played, as
// any missing file does.
std::string ResolveEntry(const std::string& line, const std::string& playlistDir);
// The local path a file:// URI names ("file:///a%20b.ogg" -> "/a b.ogg"; the host may be empty
// or "localhost"); empty text for anything else. Percent escapes are decoded to bytes.
std::string DecodeFileUri(const std::string& line);
// The name made absolute against dir (a relative name joined to it, "." and ".." taken out);
// an absolute or empty name is returned as it is.
std::string AbsoluteName(const std::string& name, const std::string& dir);

// The written form: every path followed by CR LF, and nothing else; no paths, no bytes.
std::string M3uText(const std::vector<std::string>& paths);
// Writes the playlist beside the file and renames it into place, so the old file stays whole
// when the write fails; through a symbolic link, keeping the file's permissions. Throws
// EFileError when it cannot be written.
void SaveM3u(const std::string& fileName, const std::vector<std::string>& paths);

}
