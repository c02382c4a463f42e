#pragma once
// Reads an XSPF playlist (XML, http://xspf.org/ns/0/) with Qt's XML stream reader: each
// <track>'s first <location> and its <title>. A location is a URI: a file:// one is left for
// PlaylistRules::ResolveEntry to decode, a relative one (a name beside the playlist) is decoded
// here, and one of any other scheme (http:, ...) is no file of ours. Broken XML ends the reading
// where it breaks; the tracks before it stay.
#include "PlaylistRules.h"

#include <string>
#include <vector>

namespace XspfReader {
std::vector<PlaylistRules::TListedEntry> Entries(const std::string& bytes);
}
