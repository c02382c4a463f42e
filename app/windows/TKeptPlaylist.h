#pragma once
// The playlist kept from one run to the next: at the end of a run the list, its current entry
// and whether it was playing go into "playlist.m3u8" beside the settings file (the 288-byte
// record stays as it is), with the place in the piece, whether it was paused there, and the
// playlist window's size (ResumeState). Every start takes the list back, showing the names as
// they were without opening every file; a start without names goes on where the last one ended.
#include "ResumeState.h"

#include <string>

class TPlaylist;

class TKeptPlaylist {
public:
    static const char FileName[];

    // How the run ended: the piece going (playing or paused) and the rest of ResumeState.
    struct TEnd {
        bool going = false;
        ResumeState::TState state;
    };
    // What a start takes back: the entry to go on with (-1 when the piece was not going) and
    // where, and the playlist window's size (0 when none was kept).
    struct TResume {
        int entry = -1;
        ResumeState::TState state;
    };

    // Writes the list into settingsDir. A file that cannot be written is named in a message; the
    // settings file is not touched either way.
    static void Store(const std::string& settingsDir, const TPlaylist& list, const TEnd& end);
    static void Store(const std::string& settingsDir, const TPlaylist& list, bool playing)
    {
        Store(settingsDir, list, TEnd{playing, {}});
    }
    // Appends the kept entries to the list and makes the kept entry current (when the list was
    // empty). No file is nothing to restore; a file that cannot be read is named in a message
    // and left as it is.
    static TResume Restore(const std::string& settingsDir, TPlaylist& list);
};
