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

// The file's text in the format of kind (M3u for None): the paths as they are for .m3u, as
// "FileN=" for .pls, as file:// locations for XSPF.
std::string Text(TKind kind, const std::vector<std::string>& paths);
// Writes the playlist in the format its name says, through AtomicFile (a whole file or the old
// one left as it was). Throws EFileError when it cannot be written.
void Save(const std::string& fileName, const std::vector<std::string>& paths);

}
