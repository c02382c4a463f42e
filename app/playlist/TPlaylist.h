#pragma once
// The playlist is two list controls that must always agree: the main window's hidden
// OggFileList (paths, its current row is the current entry) and the playlist window's
// ListBox1 (display names, its current row is the user's selection). Every add, delete,
// move and clear of either list goes through this class, so the two never drift apart.
//
// Each item keeps its exact bytes in Qt::UserRole (a QByteArray): the path as given, and the
// display name in Shift-JIS. The item's text is only what the widget shows.
#include <string>
#include <vector>

class QListWidget;

class TPlaylist {
public:
    TPlaylist(QListWidget* paths, QListWidget* names);

    int Count() const;
    // Appends one entry to both lists; neither selection changes.
    void Add(const std::string& path, const std::string& sjisName);
    // Removes entry index from both lists; the selections are left at -1 for the caller to set.
    void Delete(int index);
    // Moves entry from to place to in both lists and selects it there in both.
    void Move(int from, int to);
    // Empties OggFileList, then ListBox1.
    void Clear();

    // Selects index (-1 for none) in both lists.
    void Select(int index);
    int Current() const;   // OggFileList's row, -1 when none
    int Selected() const;  // ListBox1's highlighted row, -1 when none

    std::string Path(int index) const;
    std::string Name(int index) const;  // Shift-JIS bytes
    std::vector<std::string> Paths() const;

    // The bytes of a path item of OggFileList (for readers that hold only the list).
    static std::string PathAt(const QListWidget* paths, int index);

private:
    QListWidget* paths_;
    QListWidget* names_;
};
