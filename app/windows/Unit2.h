#pragma once
// TForm2: the playlist window. Shows the display names of the playlist (ListBox1), adds files
// and .m3u playlists, saves the playlist, deletes, moves and clears entries, takes dropped
// files and plays an entry on a double-click. The paths live in the main window's OggFileList;
// Playlist keeps the two lists in step.
#include "IPlaylistLoader.h"
#include "TFileIntake.h"
#include "TLazyDialog.h"
#include "TLoadingProgress.h"
#include "TPlaylist.h"
#include "TSideWindow.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QListWidget;
class QMenu;
class QMenuBar;
class TSkippedNames;

class TForm2 : public TSideWindow<QMainWindow>, public IPlaylistLoader {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Appends one entry: the path as given and its display name (the title, or the file-name
    // part when fast loading is on or the file has no title). Throws what the title lookup
    // throws (ERangeError for a file that is not Ogg Vorbis); nothing is added then.
    void AddPlaylistEntry(const std::string& path) override;
    // The same for an entry read from a playlist: title is what the playlist called it
    // ("#EXTINF", a .pls title, an XSPF title; UTF-8), shown when the file has no title of its
    // own or fast loading reads none.
    void AddListedEntry(const std::string& path, const std::string& title);
    // Appends the entries of an .m3u file, moving LoadingBar2 line by line, and selects entry 0
    // when nothing is selected. Neither shows nor hides the loading window; plays nothing.
    // A byte-order mark is dropped, and a line that names no file as written is looked for
    // beside the playlist, as a file:// URI and with "\" as "/" (PlaylistRules::ResolveEntry).
    // An entry that cannot be taken in goes into skipped and the rest are read. Throws
    // EFileError when the file itself cannot be read.
    void LoadPlaylistFile(const std::string& path, TSkippedNames& skipped) override;
    // The same on its own: the entries passed over are reported in one message.
    void LoadPlaylistFile(const std::string& path);
    // The display name (Shift-JIS) AddPlaylistEntry gives a path.
    std::string DisplayName(const std::string& path, const std::string& listedTitle = std::string());

    // Handlers. Each is a boundary: an error raised inside is shown once through ShowError.
    // (FormShow and FormClose are the side window's: they keep Settings.PlaylistShown.)
    void FormCreate() override;
    // Files dropped on the window, in the order given: audio files are appended, ".m3u" and
    // ".m3u8" playlists expanded, folders searched; nothing is cleared and nothing starts playing.
    void WMDropFiles(const std::vector<std::string>& names);
    void ListBox1DblClick();
    void MLoadOggClick();
    void MPlayListClick();
    void Form1S1Click();
    void MDeleteClick();
    void MUpClick();
    void MDownClick();
    void C1Click();

    // Controls of the window definition.
    QListWidget* ListBox1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* F1 = nullptr;
    QAction* MLoadOgg = nullptr;
    QAction* MPlayList = nullptr;
    QAction* S1 = nullptr;
    QAction* MDelete = nullptr;
    QAction* C1 = nullptr;
    QAction* MUp = nullptr;
    QAction* MDown = nullptr;
    TLazyDialog OggLoadDialog;
    TLazyDialog ListLoadDialog;
    TLazyDialog ListSaveDialog;

    // Every change to OggFileList and ListBox1 goes through here.
    std::unique_ptr<TPlaylist> Playlist;
    // Files, folders and playlists taken into Playlist, with the loading window's bar.
    TLoadingProgress LoadingProgress;
    std::unique_ptr<TFileIntake> Intake;

    // What the dialogs and the error report do; tests put their own in place. The choosers
    // return the chosen names (empty when cancelled); by default they run the dialogs above.
    // ShowError defaults to the application's one error display.
    std::function<QStringList()> ChooseOggFiles;
    std::function<QStringList()> ChoosePlaylists;
    std::function<QString()> ChooseSaveFile;
    std::function<void(const std::string&)> ShowError;
    // Asked before a save replaces an existing file; true to replace it. By default a question
    // box, "No" the default button.
    std::function<bool(const QString&)> ConfirmReplace;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { TFileIntake::AcceptFileDrag(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { TFileIntake::AcceptFileDrag(event); }
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ResetPlayback();
    // Stops the piece and shows that nothing plays: no title, the times at zero.
    void ShowNothingPlays();
    // Every highlighted entry one step up (-1) or down (1), not past the ends.
    void MoveSelection(int step);
    // Entry index played from its start, as a double-click on it does (the intake's hand-over
    // plays the first entry it brought the same way).
    void PlayFromStart(int index);
    // Names chosen in a dialog, each handed to take with the loading bar stepping; a name take
    // throws for is passed over and the rest are taken. The names passed over are reported once.
    void TakeChosen(const QStringList& files, const std::function<void(const std::string&, TSkippedNames&)>& take);
    template <class F>
    void Guarded(F&& body);
};

extern TForm2* Form2;
