#pragma once
// The playlist's file rules, free of Qt so that the playlist reader can be fuzzed on its own:
// which names are taken as audio entries or as playlists, the .m3u form read and written, and
// where an entry written by another program points. Paths and playlist lines are native bytes
// throughout; nothing here converts them.
#include <string>
#include <vector>

class TStringList;

namespace PlaylistRules {

// The name's extension (by the one extension rule of Paths) is ".ogg" or ".qv" in any mixture
// of case (".OGG", ".Ogg", ".qV"): other players take them all, and a file the user named is
// never left out for the way its name is spelt.
bool IsAudioName(const std::string& name);
// ".m3u" or ".m3u8" in any case. A ".m3u8" is UTF-8 by definition, which is what native names
// are here, so both are read the same way.
bool IsM3uName(const std::string& name);

// One entry of a playlist as read: the line naming the file, and the title an "#EXTINF:" line
// before it gave (empty when none did).
struct TListedEntry {
    std::string name;
    std::string title;
    // The name's bytes as the playlist wrote them when its text was converted (from CP932),
    // else empty: files unpacked on Linux from a Japanese archive keep CP932 names, and a list
    // beside them names them by those very bytes.
    std::string raw = std::string();
    bool operator==(const TListedEntry&) const = default;
};
// The entries of an .m3u read as lines, in order: every line that is not a "#" line and whose
// name, white space around it left aside, has an accepted audio extension. The line is kept
// whole; ResolveEntry decides whether the white space belongs to the name. An "#EXTINF:" line's
// title (the text after its first comma) goes with the next entry.
std::vector<TListedEntry> EntriesOf(const TStringList& lines);
// The same from the file's bytes (CR, LF or CR LF line ends; a last line without an end counts).
std::vector<TListedEntry> ParseM3u(const std::string& bytes);
// The text without the blanks and tabs around it.
std::string Trimmed(const std::string& text);
// Playlists written on other systems often start with a UTF-8 byte-order mark; it belongs to
// no name, so it is taken off the first line.
void DropByteOrderMark(TStringList& lines);

// The encodings a playlist's text is found in, decided for each file as a whole.
enum class TTextEncoding { Utf8, Utf8Bom, Utf16Le, Utf16Be, Cp932 };
// A .m3u or .pls carries no word about its encoding: a UTF-16 text starts with its byte-order
// mark, UTF-8 may, and a text that is valid UTF-8 throughout is taken as UTF-8 (Japanese
// Shift-JIS text almost never is). Anything else is what Windows in Japanese writes: CP932.
TTextEncoding DetectEncoding(const std::string& bytes);
// CP932 text as UTF-8, a byte that starts no CP932 character becoming U+FFFD.
std::string Cp932Text(const std::string& bytes);
// Whether text is well-formed UTF-8 throughout (no overlong forms, surrogates or values past
// U+10FFFF).
bool IsUtf8(const std::string& text);
// The playlist's text as native (UTF-8) text, without a byte-order mark: CP932 and UTF-16
// converted (also CP932 after a UTF-8 mark), a character that cannot be read becoming U+FFFD.
// The result is always valid UTF-8; line ends stay where they were.
std::string NativeText(const std::string& bytes);

// Where an entry line of the playlist in playlistDir (an absolute folder, with or without
// trailing "/") points, as an absolute name, so that the list saved again works anywhere. The
// first of these that names an existing file, for the line as written and then, when that
// finds nothing, for the line without the white space around it:
//   1. an absolute line as it is, a relative one relative to the playlist's own folder;
//   2. the line as a local file:// URI, decoded;
//   3. the line with its percent escapes decoded, as 1;
//   4. the line with "\" read as "/", as 1, and then also with its escapes decoded.
// The folder the player was started in never counts: a list means the files beside it.
// When none exists the entry is still listed, by the name the line would have had beside the
// playlist, and fails when played, as any missing file does.
std::string ResolveEntry(const std::string& line, const std::string& playlistDir);
// The name with its percent escapes ("%20", "%E6%9B%B2") decoded to bytes, as players that
// write names as URI references do ("../My%20Music/01%20Beach.ogg"); a "%" that starts no
// escape is kept. Empty text when an escape would give a NUL byte, which no name holds.
std::string PercentDecoded(const std::string& name);
// ResolveEntry for an entry as read: its name, or when that names nothing, the bytes the
// playlist wrote if those name a file.
std::string ResolveListed(const TListedEntry& entry, const std::string& playlistDir);
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
