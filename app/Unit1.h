#pragma once
// TForm1: the main window. Borderless, skinned, seven transport buttons, the scrolling title and
// the two times; owns the sound device, the stream player and the settings record.
//
// Other windows reach it through the global Form1 and use its fields directly.
#include "PlayerSettings.h"
#include "TDSOggStream.h"
#include "TDXSound.h"

#include <QWidget>
#include <cstdint>
#include <string>

class QListWidget;
class QLabel;
class QTimer;
class QMenu;
class QAction;
class TSpeedButton;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Playback (plays entry index of the playlist; an index outside the list does nothing).
    void PlayEntry(int index);
    // Takes in the program's parameters (called by the loading window's creation).
    void LoadCommandLine();

    // Controls of the window definition. OggFileList (hidden) holds the playlist's paths, entry n
    // belonging to entry n of the playlist window's ListBox1; its current row is the current entry.
    QListWidget* OggFileList = nullptr;
    QLabel* LTitle = nullptr;
    QLabel* LTime = nullptr;
    QLabel* LTotalTime = nullptr;
    QAction* S3 = nullptr;  // "高速読み込み(&S)", checkable: fast loading

    // Device first, stream second: members are destroyed in reverse, the stream before the device.
    TDXSound DXSound;
    TDSOggStream OggStream;

    int32_t ShownSeconds = 0;
    int32_t ShownTenths = 0;
    int32_t LoopsDone = 0;
    bool LoopSwitch = false;
    float LastSecond = 0.0f;
    std::string CurrentExt;  // ".ogg", ".qv", "qv" (fading after the last pass) or ""
    std::string AppDir;      // program directory with trailing "/"
    TPlayerSettings Settings;
};

extern TForm1* Form1;
