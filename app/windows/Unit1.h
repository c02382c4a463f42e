#pragma once
// TForm1: the main window. Borderless, skinned, seven transport buttons, the scrolling title and
// the two times; owns the sound device, the stream player and the settings record.
//
// Other windows reach it through the global Form1 and use its fields directly.
#include "PlayerSettings.h"
#include "TDSOggStream.h"
#include "TDXSound.h"
#include "TFileIntake.h"
#include "TKeptPlaylist.h"
#include "TLazyDialog.h"
#include "TMainSkin.h"
#include "TPlaybackSequence.h"
#include "TPlaylistCursor.h"

#include <QIcon>
#include <QPoint>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class TForm1;
}
class QListWidget;
class QLabel;
class QTimer;
class QMenu;
class QAction;
class TSpeedButton;

// The notification-icon record: what the tray icon shows and whom it reports to.
struct TTrayData {
    uint32_t cbSize = 0;            // 88 once filled
    QWidget* Wnd = nullptr;         // the main window
    uint32_t uID = 0;               // 1
    uint32_t uFlags = 0;            // 7: message, icon and tip are valid
    uint32_t uCallbackMessage = 0;  // 1025
    QIcon hIcon;                    // the application's icon
    char szTip[64] = {};            // Shift-JIS, at most 63 bytes and the terminator
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Runs FormCreate with the program's own directory as AppDir.
    explicit TForm1(QWidget* parent = nullptr);
    // The same with another directory standing for the program's (tests use a directory of their own).
    TForm1(const std::string& appDir, QWidget* parent);
    ~TForm1() override;

    // Playback (plays entry index of the playlist; an index outside the list does nothing).
    void PlayEntry(int index);
    // Takes in the program's parameters (called by the loading window's creation).
    void LoadCommandLine();
    // The same with the parameters given (native file names, without the program's own name).
    // Without any, the playlist kept from the last run comes back (TKeptPlaylist).
    void LoadCommandLine(const std::vector<std::string>& params);
    // How the run ends, for the kept playlist: the piece going (playing or paused by the user),
    // its place, and the playlist window's size.
    TKeptPlaylist::TEnd KeptEnd();
    // The kept piece of the last run played again from its place, paused there when it was.
    void ResumeEntry(const TKeptPlaylist::TResume& resume);
    // Files dropped on the window, in the order given: they replace the playlist (playlists and
    // folders expanded in place, files that will not load passed over) and the first entry plays.
    void WMDropFiles(const std::vector<std::string>& names);

    // Controls of the window definition. OggFileList (hidden) holds the playlist's paths, entry n
    // belonging to entry n of the playlist window's ListBox1; its current row is the current entry.
    QLabel* Image1 = nullptr;
    TSpeedButton* bPlay = nullptr;
    TSpeedButton* bStop = nullptr;
    TSpeedButton* bPause = nullptr;
    TSpeedButton* bBack = nullptr;
    TSpeedButton* bNext = nullptr;
    TSpeedButton* bRewind = nullptr;
    TSpeedButton* bFast = nullptr;
    QListWidget* OggFileList = nullptr;
    QLabel* LTitle = nullptr;
    QLabel* LTime = nullptr;
    QLabel* LTotalTime = nullptr;
    // PopupMenu1, the window's own menu.
    QAction* MOpenFiles = nullptr;   // "ファイルを開く…": files and playlists added, the first plays
    QAction* MOpenFolder = nullptr;  // "フォルダを開く…": a folder's pieces added, the first plays
    QAction* N1 = nullptr;           // "プレイリスト表示(&L)"
    QAction* S1 = nullptr;           // "スキンの変更(&S)"
    QAction* MLoopSet = nullptr;     // "ループ回数設定(&R)"
    QAction* V1 = nullptr;           // "音量変更(&V)"
    QAction* S3 = nullptr;           // "高速読み込み(&F)", checkable: fast loading
    QAction* M1 = nullptr;           // "最小化(&M)"
    QAction* t1 = nullptr;           // "タスクトレイに格納(&T)"
    QAction* CloseWindow = nullptr;  // "終了(&X)"
    // PopupMenu2, the tray icon's menu.
    QAction* P1 = nullptr;  // "再生(&P)"
    QAction* A1 = nullptr;  // "一時停止(&A)"
    QAction* S2 = nullptr;  // "停止(&S)"
    QAction* N2 = nullptr;  // "次の曲(&N)"
    QAction* B1 = nullptr;  // "前の曲(&B)"
    QAction* Q1 = nullptr;  // "終了(&X)"
    // Made in code (a window definition holds neither timers nor popup menus nor dialogs).
    QTimer* Timer1 = nullptr;         // 100 ms, time display
    QTimer* Timer2 = nullptr;         // 1000 ms, title scrolling
    QTimer* Timer3 = nullptr;         // 1000 ms, end of piece and loop passes
    QTimer* NextPlayTimer = nullptr;  // 1000 ms, disabled until a piece ends
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;
    TLazyDialog SkinLoadDialog;
    TLazyDialog OpenFilesDialog;
    TLazyDialog OpenFolderDialog;
    // What the open commands ask; by default they run the dialogs above (tests put their own in
    // place). Empty when cancelled.
    std::function<QStringList()> ChooseFilesToOpen;
    std::function<QStringList()> ChooseFolderToOpen;
    QSystemTrayIcon* TrayIcon = nullptr;

    // Device first, stream second: members are destroyed in reverse, the stream before the device.
    TDXSound DXSound;
    TDSOggStream OggStream;

    TTrayData TrayData;
    // The order of play, with the playlist as this window holds it. Its state keeps the names
    // the other windows have always used on this window.
    TPlaylistCursor PlaylistCursor{OggFileList};
    TPlaybackSequence Sequence{OggStream, PlaylistCursor};
    int32_t& ShownSeconds = Sequence.ShownSeconds;
    int32_t& ShownTenths = Sequence.ShownTenths;
    int32_t& LoopsDone = Sequence.LoopsDone;
    bool& LoopSwitch = Sequence.LoopSwitch;
    float& LastSecond = Sequence.LastSecond;
    std::string& CurrentExt = Sequence.CurrentExt;  // ".ogg", ".qv", "qv" (closing fade) or ""
    QPoint DragOrigin;
    std::string AppDir;      // program directory with trailing "/"
    TPlayerSettings Settings;
    // The skin shown: its directory, face and button layouts (made with the window).
    std::unique_ptr<TMainSkin> Skin;

    // Handlers of this window.
    void FormCreate();
    void FormDestroy();
    void Image1MouseDown(const QPoint& globalPos);
    void Image1MouseMove(const QPoint& globalPos, Qt::MouseButtons buttons);
    void CloseWindowClick();
    void MOpenFilesClick();
    void MOpenFolderClick();
    // Names chosen in an open dialog taken in as names given at a start.
    void OpenChosen(const QStringList& chosen);
    void N1Click();
    void MLoopSetClick();
    void V1Click();
    void M1Click();
    void t1Click();
    void TrayCallback(QSystemTrayIcon::ActivationReason reason);
    void S1Click();
    void S3Click();
    // Playback: the transport buttons (told apart by Tag), the timers and the tray menu.
    void bPlayClick(TSpeedButton* sender);
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void NextPlayTimerTimer();
    void P1Click();
    void A1Click();
    void S2Click();
    void N2Click();
    void B1Click();
    // The face of a player with nothing started: no title (the empty list's hint when the list
    // is empty), both times at 0:00.0, the window's and the tray's plain titles, no entry marked.
    void ShowNothingPlays();
    // What an empty player's title says (UTF-8).
    static constexpr const char* EmptyTitle = "ここに曲をドロップ、または右クリック→ファイルを開く…";
    // After the playlist changed: the title's number follows the entry that plays, and an empty
    // list shows EmptyTitle. Queued: runs once when control is back in the event loop.
    void FollowPlaylist();
    void QueueFollowPlaylist();
    // After a command of the sequence: NextPlayTimer runs as the sequence wants, and the
    // current entry plays when the command asks for it.
    void FollowSequence(bool playCurrent);

    // Skins and settings.
    void LoadSettingsAndSkin();
    // S1Click after the dialog: takes the directory of the chosen file as the new skin.
    void ChangeSkin(const std::string& chosenFile);
    // Writes Settings to "zkv108.info" in Paths::SettingsDir(AppDir) (beside a portable copy, per
    // user for an installed one); a message names the file when it cannot be written.
    void WriteSettingsFile();
    // Takes the main and playlist windows' positions, and the values the open loop-count and
    // volume windows show, into Settings (before any window dies).
    void StorePositions();

    // The volume by steps of the volume window's bar (a decibel each; up when positive).
    void StepVolume(int steps);
    // The current entry (OggFileList's row, -1 for none).
    int CurrentEntry() const;
    // The loop count of the loop-count window (-1 endless, 0 .. 99).
    int LoopCountValue() const;

    // The seven transport buttons by tag.
    std::array<TSpeedButton*, 7> Buttons() const;
    // Sets the tray tip (Shift-JIS, cut to 63 bytes) and shows it on the icon.
    void SetTrayTip(const std::string& sjis);
    // True once FormCreate has filled TrayData: only then can the window go to the tray.
    bool TrayReady() const { return TrayData.cbSize != 0; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    // The wheel over the face turns the volume as over the volume window's bar.
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override { TFileIntake::AcceptFileDrag(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { TFileIntake::AcceptFileDrag(event); }
    void dropEvent(QDropEvent* event) override;

private:
    // Entry 0 selected, the old piece stopped, the playback state reset, entry 0 played.
    void PlayFirstEntry();
    // PlayEntry's work; it may throw, PlayEntry may not.
    void StartEntry(int index);
    void SyncNextPlayTimer();
    // Entry index could not be played: says so and goes on with the next one.
    void EntryFailed(int index);
    bool failureShown_ = false;  // a failure's message box is up

    // The title caption: "[index] name", with the loop's mark in the brackets ("[1 2/3] name",
    // TPlaybackSequence::LoopMark) and, for the title's first pass only, a note that the
    // piece's loop tags were refused. Shown on the face scrolled as far as it had scrolled, and
    // in the tray tip (without the note). All Shift-JIS.
    void ShowTitle();
    // The title of a player with nothing started: EmptyTitle for an empty list, else nothing.
    void ShowEmptyTitle();
    bool pieceShown_ = false;  // a piece was started and the face shows it
    float heldAt_ = -1.0f;     // the place a start left the kept piece paused at
    float heldPause_ = 0.0f;   // the stream's pause time then: while it stands, so does heldAt_
    bool followQueued_ = false;
    std::string emptyTitleShown_;  // the empty title last set
    bool emptyTitleStale_ = true;  // the label shows something else: set it afresh
    // After Timer3: the mark follows the passes heard.
    void FollowLoopMark();
    // A refused loop tag of the piece just started: said on standard error and in the title's
    // first pass, once for each file in a run.
    void NoteRefusedLoopTags(const std::string& path);
    int titleIndex_ = 0;
    std::string titleName_;
    std::string titleMark_;
    std::string titleNote_;
    int titleScrolled_ = 0;  // characters the title has scrolled since it was last built
    int titleCharacters_ = 0;  // the characters of the caption shown, padding included
    std::vector<std::string> tagsNoted_;

    void SetupMenusAndTimers();
    void SetupFonts();

    std::string appDirGiven_;
    std::unique_ptr<Ui::TForm1> ui;
};

extern TForm1* Form1;

// The settings file's name beside the program.
extern const std::string SettingsFileName;
