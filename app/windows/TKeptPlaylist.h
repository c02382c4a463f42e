#pragma once
// The playlist kept from one run to the next: at the end of a run the list, its current entry
// and whether it was playing go into "playlist.m3u8" beside the settings file (the 288-byte
// record stays as it is); a start without names takes them back, showing the names as they
// were without opening every file, and plays only when the piece was playing at the end.
#include <string>

class TPlaylist;

class TKeptPlaylist {
public:
    static const char FileName[];

    // Writes the list into settingsDir. A file that cannot be written is named in a message; the
    // settings file is not touched either way.
    static void Store(const std::string& settingsDir, const TPlaylist& list, bool playing);
    // Fills the (empty) list from settingsDir and makes the kept entry current. The entry to
    // start playing, or -1. No file is nothing to restore; a file that cannot be read is named
    // in a message and left as it is.
    static int Restore(const std::string& settingsDir, TPlaylist& list);
};
