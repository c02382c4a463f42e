#include "TPlaylistCursor.h"

#include "TPlaylist.h"

#include <QListWidget>

TPlaylistCursor::TPlaylistCursor(QListWidget* const& paths) : paths_(paths)
{
}

int TPlaylistCursor::Count() const
{
    return paths_->count();
}

int TPlaylistCursor::Current() const
{
    return paths_->currentRow();
}

void TPlaylistCursor::SetCurrent(int index)
{
    paths_->setCurrentRow(index);
}

void TPlaylistCursor::Select(int index)
{
    // Without the playlist window (a main window on its own) only the path list is there.
    if (playlist_ != nullptr)
        playlist_->Select(index);
    else
        paths_->setCurrentRow(index);
}

std::string TPlaylistCursor::PathAt(int index) const
{
    return TPlaylist::PathAt(paths_, index);
}
