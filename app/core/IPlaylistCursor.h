#pragma once
// What the playback sequence needs of the playlist: how many entries, which one is current,
// moving the current entry, and an entry's path. The main window answers it from OggFileList
// and the playlist window; the sequence's tests answer it from a plain list.
#include <string>

class IPlaylistCursor {
public:
    virtual ~IPlaylistCursor() = default;

    virtual int Count() const = 0;
    // The current entry, -1 when there is none.
    virtual int Current() const = 0;
    // Moves the current entry (-1 for none) without touching the user's selection.
    virtual void SetCurrent(int index) = 0;
    // Makes index the current entry and the user's selection (a piece starting).
    virtual void Select(int index) = 0;
    virtual std::string PathAt(int index) const = 0;
};
