#pragma once
// The playlist formats other players write and read, beside the .m3u of PlaylistRules: the
// INI-style .pls ("File1=", "Title1=") and XSPF's XML (read by XspfReader, which needs Qt's XML
// reader; written here). A playlist is saved in the format its name asks for.
#include "PlaylistRules.h"

#include <string>
#include <vector>

class TStringList;

namespace PlaylistFormats {

enum class TKind { M3u, Pls, Xspf, None };

// By the extension, in any case: ".m3u" and ".m3u8", ".pls", ".xspf"; None for anything else.
TKind KindOf(const std::string& name);
bool IsPlaylistName(const std::string& name);
// The name a playlist is saved under: as given when its extension names a format, otherwise
// with ".m3u8" added ("list.txt" -> "list.txt.m3u8"), so that no file is ever written in a
// format its name does not say.
std::string SaveName(const std::string& name);

// The entries of a .pls: the "FileN=" values (key in any case) in the order of N, each with its
// "TitleN=", kept when the value, white space aside, has an audio extension. A number given
// twice keeps its first value.
std::vector<PlaylistRules::TListedEntry> PlsEntries(const TStringList& lines);

// The entries of an .m3u or .pls file (kind M3u or Pls; None reads as M3u) from its bytes, in
// whatever encoding it came (PlaylistRules::NativeText): names and titles come out as native
// text. XSPF is XML, which says its own encoding; XspfReader reads it.
std::vector<PlaylistRules::TListedEntry> TextEntries(TKind kind, const std::string& bytes);

// The file's text in the format of kind (M3u for None): the paths as they are for .m3u, as
// "FileN=" for .pls, as file:// locations for XSPF.
std::string Text(TKind kind, const std::vector<std::string>& paths);
// The playlist kept from one run to the next: an .m3u8 of absolute names, each after an
// "#EXTINF:-1," line with the name the playlist window showed (UTF-8), so that a restart shows
// the list at once without opening every file, and a line of our own that names the current
// entry and whether it was playing. Other players read it as an ordinary .m3u8.
struct TSession {
    std::vector<PlaylistRules::TListedEntry> entries;  // name: the path; title: the name shown
    int current = -1;
    bool playing = false;
};
std::string SessionText(const TSession& session);
// Reads what SessionText wrote, or any .m3u8: a current entry outside the list becomes -1. A
// path with a line break cannot be written into a line: such an entry is left out, and the
// current entry still names the same piece.
TSession ParseSession(const std::string& bytes);

// Writes the playlist in the format its name says, through AtomicFile (a whole file or the old
// one left as it was). Throws EFileError when it cannot be written.
void Save(const std::string& fileName, const std::vector<std::string>& paths);

}
