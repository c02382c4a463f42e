#pragma once
// The playlist is two list controls that must always agree: the main window's hidden
// OggFileList (paths, its current row is the current entry) and the playlist window's
// ListBox1 (display names, its current row is the user's selection). Every add, delete,
// move and clear of either list goes through this class, so the two never drift apart.
//
// Each item keeps its exact bytes in Qt::UserRole (a QByteArray): the path as given, and the
// display name in Shift-JIS. The item's text is only what the widget shows.
#include <QMetaObject>
#include <string>
#include <vector>

class QListWidget;

class TPlaylist {
public:
    TPlaylist(QListWidget* paths, QListWidget* names);
    ~TPlaylist();
    TPlaylist(const TPlaylist&) = delete;
    TPlaylist& operator=(const TPlaylist&) = delete;

    int Count() const;
    // Appends one entry to both lists; neither selection changes.
    void Add(const std::string& path, const std::string& sjisName);
    // Removes entry index from both lists; the selections are left at -1 for the caller to set.
    void Delete(int index);
    // Moves entry from to place to in both lists and selects it there in both.
    void Move(int from, int to);
    // Puts the entries in a new order: place i gets the entry that stood at order[i] (order
    // holds every index once, else nothing changes). The current entry stays the same piece
    // and the highlighted entries stay highlighted wherever they go.
    void Reorder(const std::vector<int>& order);
    // The order in which every row of rows (ascending) goes one step up (step -1) or down
    // (step 1); a row at the end, or in a block that touches it, stays where it is.
    static std::vector<int> StepOrder(int count, const std::vector<int>& rows, int step);
    // Empties OggFileList, then ListBox1.
    void Clear();

    // Selects index (-1 for none) in both lists.
    void Select(int index);
    int Current() const;   // OggFileList's row, -1 when none
    int Selected() const;  // ListBox1's first highlighted row, -1 when none
    std::vector<int> SelectedRows() const;  // ascending
    // Highlights exactly rows in ListBox1 (the first one becomes its current row); OggFileList
    // is left alone.
    void Highlight(const std::vector<int>& rows);

    // The entry whose piece was started last, the one the title names: marked in both lists and
    // so found wherever moves take it, and shown in bold in ListBox1. -1 when there is none
    // (nothing started yet, or its entry deleted or cleared).
    void MarkPlaying(int index);
    int Playing() const;

    std::string Path(int index) const;
    std::string Name(int index) const;  // Shift-JIS bytes
    std::vector<std::string> Paths() const;

    // The bytes of a path item of OggFileList (for readers that hold only the list).
    static std::string PathAt(const QListWidget* paths, int index);

private:
    // ListBox1 reordered by a drag: OggFileList follows.
    void FollowMovedNames(int first, int last, int destination);

    QListWidget* paths_;
    QListWidget* names_;
    QMetaObject::Connection moved_;
};
