#pragma once
// TForm1: the main window. Borderless, skinned, seven transport buttons, the scrolling title and
// the two times; owns the sound device, the stream player and the settings record.
//
// Other windows reach it through the global Form1 and use its fields directly.
#include "PlayerSettings.h"
#include "TDSOggStream.h"
#include "TDXSound.h"

#include <QIcon>
#include <QImage>
#include <QPalette>
#include <QPoint>
#include <QRect>
#include <QSystemTrayIcon>
#include <QWidget>
#include <array>
#include <cstdint>
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
class QFileDialog;
class TSpeedButton;

// Where a skin puts one transport button.
struct TButtonLayout {
    int32_t X = 0;
    int32_t Y = 0;
    bool Trans = false;  // from *_BUTTON_TRANS; kept with the layout, nothing depends on it
};

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
    void LoadCommandLine(const std::vector<std::string>& params);
    // Files dropped on the window, in the order given: they replace the playlist (".m3u" and
    // ".M3U" playlists expanded in place) and the first entry plays.
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
    QAction* N1 = nullptr;           // "プレイリスト表示(&L)"
    QAction* S1 = nullptr;           // "スキンの変更(&S)"
    QAction* MLoopSet = nullptr;     // "ループ回数設定(&R)"
    QAction* V1 = nullptr;           // "音量変更(&V)"
    QAction* S3 = nullptr;           // "高速読み込み(&S)", checkable: fast loading
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
    QFileDialog* SkinLoadDialog = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;

    // Device first, stream second: members are destroyed in reverse, the stream before the device.
    TDXSound DXSound;
    TDSOggStream OggStream;

    TTrayData TrayData;
    int32_t ShownSeconds = 0;
    int32_t ShownTenths = 0;
    QPoint DragOrigin;
    int32_t LoopsDone = 0;
    bool LoopSwitch = false;
    float LastSecond = 0.0f;
    std::array<TButtonLayout, 7> ButtonLayouts{};
    std::array<std::string, 7> ButtonGlyphFiles;
    std::string SkinDir;     // current skin directory, ending in "/"
    std::string AppDir;      // program directory with trailing "/"
    std::string CurrentExt;  // ".ogg", ".qv", "qv" (fading after the last pass) or ""
    TPlayerSettings Settings;
    QImage FaceImage;  // the face now shown in Image1

    // Handlers of this window.
    void FormCreate();
    void FormDestroy();
    void Image1MouseDown(const QPoint& globalPos);
    void Image1MouseMove(const QPoint& globalPos, Qt::MouseButtons buttons);
    void CloseWindowClick();
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

    // Skins and settings.
    void LoadSettingsAndSkin();
    void ApplySkinFiles();
    void ReadSkinIni();
    static uint32_t ParseSkinColor(const std::string& value);
    void BuildWindowRegion();
    void ApplyButtonSkin(TSpeedButton* button);
    // S1Click after the dialog: takes the directory of the chosen file as the new skin.
    void ChangeSkin(const std::string& chosenFile);
    // Writes Settings to AppDir + "zkv108.info"; silently nothing when it cannot be written.
    void WriteSettingsFile();
    // Takes the main and playlist windows' positions into Settings (before any window dies).
    void StorePositions();
    // The window as its definition lays it out, without any skin.
    void RestorePlainLayout();

    // Time text "%d:%02d.%d": minutes, seconds and tenths, truncated; minutes do not roll over.
    static std::string TimeText(float seconds);
    // The title caption made ready for scrolling: four spaces after a caption of 21 bytes or
    // more, else spaces up to 21 bytes.
    static std::string PadCaption(const std::string& sjis);
    // The caption with its first character (one byte, or two for a Shift-JIS lead byte) moved
    // to its end.
    static std::string ScrollCaption(const std::string& sjis);
    // The current entry (OggFileList's row, -1 for none) and the steps through the list.
    int CurrentEntry() const;
    void AdvanceEntry();
    void BackEntry();
    // Stops what plays, resets the loop passes and plays the current entry from its start.
    void PlayCurrentAfterStop();
    // The loop count of the loop-count window (-1 endless, 0 .. 99).
    int LoopCountValue() const;

    // The seven transport buttons by tag.
    std::array<TSpeedButton*, 7> Buttons() const;
    // Display text: sets a label's caption from Shift-JIS bytes, sizing the label to its text.
    static void SetLabelCaption(QLabel* label, const std::string& sjis);
    static std::string LabelCaption(const QLabel* label);
    // Sets the tray tip (Shift-JIS, cut to 63 bytes) and shows it on the icon.
    void SetTrayTip(const std::string& sjis);
    // True once FormCreate has filled TrayData: only then can the window go to the tray.
    bool TrayReady() const { return TrayData.cbSize != 0; }

    // The application's icon, also the tray icon: drawn here, so it needs no file.
    static QIcon AppIcon();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // The intake shared by the drop and the command line: names taken in order, the loading
    // bar stepped from firstStep. Returns false when an error stopped it (shown already).
    bool TakeInNames(const std::vector<std::string>& names, int firstStep);
    // Entry 0 selected, the old piece stopped, the playback state reset, entry 0 played.
    void PlayFirstEntry();

    void SetupMenusAndTimers();
    void SetupFonts();
    void ApplySkinFilesOrFallBack();

    // Where the window definition puts the buttons and labels, for a window left without a skin.
    struct PlainPlace {
        QWidget* Widget;
        QRect Geometry;
        QPalette Palette;
    };
    std::vector<PlainPlace> plainLayout_;
    std::string appDirGiven_;
    std::unique_ptr<Ui::TForm1> ui;
};

extern TForm1* Form1;

// The settings file's name beside the program.
extern const std::string SettingsFileName;
