#pragma once
// The playlist as the playback sequence sees it: the main window's OggFileList holds the paths
// and its current row is the current entry; a piece that starts is selected in both lists.
#include "IPlaylistCursor.h"

class QListWidget;
class TPlaylist;

class TPlaylistCursor : public IPlaylistCursor {
public:
    // paths is the main window's OggFileList member, read when asked: the window makes the
    // list after this cursor.
    explicit TPlaylistCursor(QListWidget* const& paths);
    // The two lists in step, once the playlist window has made them (nullptr when it is gone).
    void SetPlaylist(TPlaylist* playlist) { playlist_ = playlist; }

    int Count() const override;
    int Current() const override;
    void SetCurrent(int index) override;
    void Select(int index) override;
    std::string PathAt(int index) const override;

private:
    QListWidget* const& paths_;
    TPlaylist* playlist_ = nullptr;
};
