#include "Unit1.h"

#include "AppIcon.h"
#include "CaptionText.h"
#include "DisplayText.h"
#include "ERangeError.h"
#include "OggWuvorbisLib.h"
#include "Paths.h"
#include "SjisConv.h"
#include "TMessages.h"
#include "TDialogWatch.h"
#include "TFaceDisplay.h"
#include "TFileIntake.h"
#include "TFirstPlacement.h"
#include "TMainWindowKeys.h"
#include "TScreenPlace.h"
#include "TSpeedButton.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "ui_Unit1.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QSpinBox>
#include <QTimer>
#include <QWheelEvent>
#include <cstring>

TForm1* Form1 = nullptr;
const std::string SettingsFileName = "zkv108.info";

TForm1::TForm1(QWidget* parent) : TForm1(std::string(), parent)
{
}

TForm1::TForm1(const std::string& appDir, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), ui(std::make_unique<Ui::TForm1>())
{
    // The global names the window while it is being made, as the other windows expect.
    Form1 = this;
    ui->setupUi(this);
    Image1 = ui->Image1;
    bPlay = ui->bPlay;
    bStop = ui->bStop;
    bPause = ui->bPause;
    bBack = ui->bBack;
    bNext = ui->bNext;
    bRewind = ui->bRewind;
    bFast = ui->bFast;
    OggFileList = ui->OggFileList;
    LTitle = ui->LTitle;
    LTime = ui->LTime;
    LTotalTime = ui->LTotalTime;
    N1 = ui->N1;
    S1 = ui->S1;
    MLoopSet = ui->MLoopSet;
    V1 = ui->V1;
    S3 = ui->S3;
    M1 = ui->M1;
    t1 = ui->t1;
    CloseWindow = ui->CloseWindow;
    P1 = ui->P1;
    A1 = ui->A1;
    S2 = ui->S2;
    N2 = ui->N2;
    B1 = ui->B1;
    Q1 = ui->Q1;

    // The title's number follows the entry that plays through every change of the list.
    const QAbstractItemModel* model = OggFileList->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, [this] { QueueFollowPlaylist(); });
    connect(model, &QAbstractItemModel::rowsRemoved, this, [this] { QueueFollowPlaylist(); });
    connect(model, &QAbstractItemModel::rowsMoved, this, [this] { QueueFollowPlaylist(); });
    connect(model, &QAbstractItemModel::modelReset, this, [this] { QueueFollowPlaylist(); });
    connect(model, &QAbstractItemModel::layoutChanged, this, [this] { QueueFollowPlaylist(); });
    // The buttons' hints and the whole title show under the mouse also while another window has
    // the focus, as a player beside other work mostly is.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    for (QWidget* w : std::initializer_list<QWidget*>{Image1, LTitle, LTime, LTotalTime})
        w->installEventFilter(this);
    for (TSpeedButton* b : Buttons())
        connect(b, &QAbstractButton::clicked, this, [this, b] { bPlayClick(b); });
    Skin = std::make_unique<TMainSkin>(TMainSkin::Parts{this, Image1, LTitle, LTime, LTotalTime, Buttons()},
                                       AppDir, Settings, TMessages::HandleException);
    SetupFonts();
    SetupMenusAndTimers();

    appDirGiven_ = appDir;
    try {
        FormCreate();
    } catch (...) {
        // As for any handler: the message is shown and the window stays; the steps after the
        // failing one are not done.
        TMessages::HandleException();
    }
}

TForm1::~TForm1()
{
    try {
        FormDestroy();
    } catch (...) {
        // Nothing may escape a destructor; the settings file is simply not written then.
    }
    if (Form1 == this)
        Form1 = nullptr;
}

std::array<TSpeedButton*, 7> TForm1::Buttons() const
{
    return {bPlay, bStop, bPause, bBack, bNext, bRewind, bFast};
}

void TForm1::SetupFonts()
{
    QFont form(QStringLiteral("ＭＳ Ｐゴシック"));
    form.setPixelSize(12);
    setFont(form);
    QFont title(QStringLiteral("MS UI Gothic"));
    title.setPixelSize(16);
    LTitle->setFont(title);
    QFont time(QStringLiteral("MS UI Gothic"));
    time.setPixelSize(19);
    time.setBold(true);
    LTime->setFont(time);
    QFont total(QStringLiteral("ＭＳ Ｐゴシック"));
    total.setPixelSize(13);
    total.setBold(true);
    LTotalTime->setFont(total);
}

void TForm1::SetupMenusAndTimers()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    // The ways music gets in come first: a new user finds them where the menu opens.
    MOpenFiles = new QAction(QStringLiteral("ファイルを開く…"), this);
    MOpenFiles->setObjectName(QStringLiteral("MOpenFiles"));
    MOpenFolder = new QAction(QStringLiteral("フォルダを開く…"), this);
    MOpenFolder->setObjectName(QStringLiteral("MOpenFolder"));
    PopupMenu1->addAction(MOpenFiles);
    PopupMenu1->addAction(MOpenFolder);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N7"));
    PopupMenu1->addAction(N1);
    PopupMenu1->addAction(S1);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N4"));
    PopupMenu1->addAction(MLoopSet);
    PopupMenu1->addAction(V1);
    PopupMenu1->addAction(S3);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N3"));
    PopupMenu1->addAction(M1);
    PopupMenu1->addAction(t1);
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N6"));
    PopupMenu1->addAction(CloseWindow);
    // Going to the tray is offered only when the icon can appear to bring the windows back.
    connect(PopupMenu1, &QMenu::aboutToShow, this,
            [this] { t1->setEnabled(TrayReady() && QSystemTrayIcon::isSystemTrayAvailable()); });

    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    PopupMenu2->addAction(P1);
    PopupMenu2->addAction(A1);
    PopupMenu2->addAction(S2);
    PopupMenu2->addAction(N2);
    PopupMenu2->addAction(B1);
    PopupMenu2->addSeparator()->setObjectName(QStringLiteral("N5"));
    PopupMenu2->addAction(Q1);

    connect(MOpenFiles, &QAction::triggered, this, &TForm1::MOpenFilesClick);
    connect(MOpenFolder, &QAction::triggered, this, &TForm1::MOpenFolderClick);
    connect(N1, &QAction::triggered, this, &TForm1::N1Click);
    connect(S1, &QAction::triggered, this, &TForm1::S1Click);
    connect(MLoopSet, &QAction::triggered, this, &TForm1::MLoopSetClick);
    connect(V1, &QAction::triggered, this, &TForm1::V1Click);
    connect(S3, &QAction::triggered, this, &TForm1::S3Click);
    connect(M1, &QAction::triggered, this, &TForm1::M1Click);
    connect(t1, &QAction::triggered, this, &TForm1::t1Click);
    connect(CloseWindow, &QAction::triggered, this, &TForm1::CloseWindowClick);
    connect(P1, &QAction::triggered, this, &TForm1::P1Click);
    connect(A1, &QAction::triggered, this, &TForm1::A1Click);
    connect(S2, &QAction::triggered, this, &TForm1::S2Click);
    connect(N2, &QAction::triggered, this, &TForm1::N2Click);
    connect(B1, &QAction::triggered, this, &TForm1::B1Click);
    connect(Q1, &QAction::triggered, this, &TForm1::CloseWindowClick);

    auto makeTimer = [this](const char* name, int interval, bool enabled, void (TForm1::*handler)()) {
        auto* timer = new QTimer(this);
        timer->setObjectName(QString::fromLatin1(name));
        timer->setInterval(interval);
        connect(timer, &QTimer::timeout, this, handler);
        if (enabled)
            timer->start();
        return timer;
    };
    Timer1 = makeTimer("Timer1", 100, true, &TForm1::Timer1Timer);
    Timer2 = makeTimer("Timer2", 1000, true, &TForm1::Timer2Timer);
    Timer3 = makeTimer("Timer3", 1000, true, &TForm1::Timer3Timer);
    NextPlayTimer = makeTimer("NextPlayTimer", 1000, false, &TForm1::NextPlayTimerTimer);
    new TFaceDisplay(this, Timer1, [this] { Timer1Timer(); });  // rests Timer1 while unseen

    SkinLoadDialog.MadeBy([this] {
        auto* dialog = new QFileDialog(this);
        dialog->setObjectName(QStringLiteral("SkinLoadDialog"));
        dialog->setWindowTitle(QStringLiteral("スキンの変更"));
        dialog->setNameFilter(QStringLiteral("スキン情報ファイル(.ini) (*.ini)"));
        dialog->setDefaultSuffix(QStringLiteral("ini"));
        dialog->setFileMode(QFileDialog::ExistingFile);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setOption(QFileDialog::HideNameFilterDetails, true);
        dialog->setDirectory(QFile::decodeName(QByteArray::fromStdString(AppDir + "skin")));
        TDialogWatch::WhileShown(dialog);
        return dialog;
    });

    const auto startFolder = [] {
        const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        return !music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath();
    };
    OpenFilesDialog.MadeBy([this, startFolder] {
        auto* dialog = new QFileDialog(this);
        dialog->setObjectName(QStringLiteral("OpenFilesDialog"));
        dialog->setWindowTitle(QStringLiteral("ファイルを開く"));
        dialog->setNameFilters({QStringLiteral("曲とプレイリスト (*.ogg *.qv *.OGG *.QV *.m3u *.m3u8 *.pls *.xspf)"),
                                QStringLiteral("すべてのファイル (*)")});
        dialog->setFileMode(QFileDialog::ExistingFiles);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setDirectory(startFolder());
        TDialogWatch::WhileShown(dialog);
        return dialog;
    });
    OpenFolderDialog.MadeBy([this, startFolder] {
        auto* dialog = new QFileDialog(this);
        dialog->setObjectName(QStringLiteral("OpenFolderDialog"));
        dialog->setWindowTitle(QStringLiteral("フォルダを開く"));
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly, true);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setDirectory(startFolder());
        TDialogWatch::WhileShown(dialog);
        return dialog;
    });
    const auto run = [](QFileDialog* dialog) {
        return dialog->exec() == QDialog::Accepted ? dialog->selectedFiles() : QStringList();
    };
    ChooseFilesToOpen = [this, run] { return run(OpenFilesDialog); };
    ChooseFolderToOpen = [this, run] { return run(OpenFolderDialog); };

    TrayIcon = new QSystemTrayIcon(this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    connect(TrayIcon, &QSystemTrayIcon::activated, this, &TForm1::TrayCallback);
}

// ---- Start-up and shutdown ----

void TForm1::FormCreate()
{
    AppDir = appDirGiven_.empty() ? Paths::ProgramDir() : appDirGiven_;
    if (!AppDir.empty() && AppDir.back() != '/')
        AppDir += '/';
    // Files dropped on the window are taken in by the intake; the window accepts drops.
    setAcceptDrops(true);
    new TMainWindowKeys(this, [this](TMainWindowKeys::Action action) {
        using A = TMainWindowKeys::Action;
        switch (action) {
        case A::PauseOrResume: bPlayClick(bPause); break;
        case A::Back: bPlayClick(bRewind); break;
        case A::Forward: bPlayClick(bFast); break;
        case A::Next: bPlayClick(bNext); break;
        case A::Previous: bPlayClick(bBack); break;
        case A::VolumeUp: StepVolume(1); break;
        case A::VolumeDown: StepVolume(-1); break;
        case A::Quit: CloseWindowClick(); break;
        }
    });
    LoadSettingsAndSkin();
    show();
    DragOrigin = pos();
    LoopsDone = 0;
    LoopSwitch = false;
    CurrentExt.clear();
    LastSecond = 0.0f;
    _VorbisfileInitialize(AppDir + "wuvorbis.dll");
    TSoundFormat format{};
    format.SampleRate = 44100;
    DXSound.Init(reinterpret_cast<HWND>(winId()), &format);
    if (!OggStream.Init(&DXSound)) {
        TMessages::ShowMessage("OggStreamクラス生成失敗");
        CloseWindowClick();
    }
    TrayData.cbSize = 88;
    TrayData.Wnd = this;
    TrayData.uID = 1;
    TrayData.uFlags = 7;
    TrayData.uCallbackMessage = 1025;
    TrayData.hIcon = DrawAppIcon();
    TrayIcon->setIcon(TrayData.hIcon);
    SetTrayTip("Ostra Ogg Player");
    ShowEmptyTitle();
}

void TForm1::FormDestroy()
{
    if (TrayIcon != nullptr)
        TrayIcon->hide();
    WriteSettingsFile();
}

void TForm1::StorePositions()
{
    const QPoint place = TScreenPlace::Stored(this);
    Settings.MainLeft = place.x();
    Settings.MainTop = place.y();
    if (Form2 != nullptr) {
        const QPoint list = TScreenPlace::Stored(Form2);
        Settings.PlaylistLeft = list.x();
        Settings.PlaylistTop = list.y();
    }
    if (Form3 != nullptr)
        Form3->StoreAtQuit();
    if (Form4 != nullptr)
        Form4->StoreAtQuit();
}

void TForm1::WriteSettingsFile()
{
    const std::string path = Paths::MakeSettingsDir(AppDir) + SettingsFileName;
    if (!AppDir.empty() && !Settings.SaveToFile(path))
        TMessages::ShowException("設定ファイル " + path + " を保存できませんでした。");
}

void TForm1::CloseWindowClick()
{
    // Ends the message loop once control is back in it, also when asked before the loop runs.
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // Closing the main window (from the window manager) ends the program as the menu does.
    event->ignore();
    CloseWindowClick();
}

// ---- Dragging and the window menu ----

void TForm1::Image1MouseDown(const QPoint& globalPos)
{
    DragOrigin = globalPos;
}

void TForm1::Image1MouseMove(const QPoint& globalPos, Qt::MouseButtons buttons)
{
    if (!(buttons & Qt::LeftButton))
        return;
    move(x() + globalPos.x() - DragOrigin.x(), y() + globalPos.y() - DragOrigin.y());
    DragOrigin = globalPos;
}

void TForm1::mousePressEvent(QMouseEvent* event)
{
    Image1MouseDown(event->globalPosition().toPoint());
}

void TForm1::mouseMoveEvent(QMouseEvent* event)
{
    Image1MouseMove(event->globalPosition().toPoint(), event->buttons());
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1 || watched == LTitle || watched == LTime || watched == LTotalTime) {
        if (event->type() == QEvent::MouseButtonPress) {
            Image1MouseDown(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            return true;
        }
        if (event->type() == QEvent::MouseMove) {
            auto* e = static_cast<QMouseEvent*>(event);
            Image1MouseMove(e->globalPosition().toPoint(), e->buttons());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::StepVolume(int steps)
{
    // Through the volume window's bar, as its own keys and wheel go: the stream, the label and
    // the settings follow its change.
    if (Form4 != nullptr)
        Form4->StepVolume(steps);
}

void TForm1::wheelEvent(QWheelEvent* event)
{
    if (Form4 != nullptr)
        Form4->TurnWheel(event->angleDelta());
    event->accept();
}

void TForm1::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu1->popup(event->globalPos());
}

void TForm1::MOpenFilesClick()
{
    OpenChosen(ChooseFilesToOpen ? ChooseFilesToOpen() : QStringList());
}

void TForm1::MOpenFolderClick()
{
    OpenChosen(ChooseFolderToOpen ? ChooseFolderToOpen() : QStringList());
}

void TForm1::OpenChosen(const QStringList& chosen)
{
    // As names given at a start: added to the list, the first of them plays.
    std::vector<std::string> names;
    for (const QString& name : chosen)
        names.push_back(TFileIntake::NativeName(name));
    if (names.empty() || Form2 == nullptr || !Form2->Intake)
        return;
    try {
        Form2->Intake->HandOver(names);
    } catch (...) {
        TMessages::HandleException();
    }
}

void TForm1::N1Click()
{
    if (Form2 != nullptr)
        Form2->show();
    Settings.PlaylistShown = 1;
}

void TForm1::MLoopSetClick()
{
    // Shown, it is placed beside the main window (TSideWindow); open already, it stays.
    if (Form3 != nullptr)
        Form3->show();
    Settings.LoopWindowShown = 1;
}

void TForm1::V1Click()
{
    if (Form4 != nullptr)
        Form4->show();
    Settings.VolumeWindowShown = 1;
}

void TForm1::M1Click()
{
    showMinimized();
}

void TForm1::S3Click()
{
    // The action is checkable: Qt has already toggled its check mark when this runs.
    Settings.FastLoad = S3->isChecked() ? 1 : 0;
}

// ---- The notification area ----

void TForm1::t1Click()
{
    // Without the tray record (start-up stopped early) or without a notification area, the
    // icon could not appear and nothing could bring the hidden windows back: stay visible.
    if (!TrayReady() || !QSystemTrayIcon::isSystemTrayAvailable())
        return;
    Settings.PlaylistShown = Form2 != nullptr && Form2->isVisible() ? 1 : 0;
    Settings.LoopWindowShown = Form3 != nullptr && Form3->isVisible() ? 1 : 0;
    Settings.VolumeWindowShown = Form4 != nullptr && Form4->isVisible() ? 1 : 0;
    hide();
    if (Form2 != nullptr)
        Form2->hide();
    if (Form3 != nullptr)
        Form3->hide();
    if (Form4 != nullptr)
        Form4->hide();
    TrayIcon->show();
    Timer1->stop();
    Timer2->stop();
}

void TForm1::TrayCallback(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger) {
        TrayIcon->hide();
        show();
        if (Form2 != nullptr && Settings.PlaylistShown != 0)
            Form2->show();
        if (Form3 != nullptr && Settings.LoopWindowShown != 0)
            Form3->show();
        if (Form4 != nullptr && Settings.VolumeWindowShown != 0)
            Form4->show();
        Timer1->start();
        Timer2->start();
    } else if (reason == QSystemTrayIcon::Context) {
        PopupMenu2->popup(QCursor::pos());
    }
}

void TForm1::SetTrayTip(const std::string& sjis)
{
    std::strncpy(TrayData.szTip, sjis.c_str(), sizeof TrayData.szTip - 1);  // the last byte stays 0
    // The record keeps 63 bytes, as the shell's did; the desktop's tip and the title's show the
    // whole title (the title on the face is cut at its panel's edge). With nothing playing the
    // face's title is no title.
    const QString whole = SjisToQString(sjis);
    if (TrayIcon != nullptr)
        TrayIcon->setToolTip(whole);
    LTitle->setToolTip(sjis == "Ostra Ogg Player" ? QString() : whole);
}

// ---- Skins and the settings file ----

void TForm1::LoadSettingsAndSkin()
{
    const std::string path = Paths::SettingsDir(AppDir) + SettingsFileName;
    const bool stored = Settings.LoadFromFile(path, TMessages::ShowException);
    if (stored) {
        S3->setChecked(Settings.FastLoad != 0);
    } else {
        Settings = TPlayerSettings::FirstRun(pos().x(), pos().y());
        new TFirstPlacement(this, [] {
            if (Form2 != nullptr)
                Form2->PlaceBesideMain();
        });
    }
    Skin->Load(stored);
    // Placed once the skin has given the window its size, which decides whether it fits.
    if (stored)
        TScreenPlace::Restore(this, QPoint(Settings.MainLeft, Settings.MainTop));
}

void TForm1::S1Click()
{
    if (SkinLoadDialog->exec() != QDialog::Accepted)
        return;
    const QStringList files = SkinLoadDialog->selectedFiles();
    if (files.isEmpty())
        return;
    const std::string chosen = TFileIntake::NativeName(files.first());
    try {
        ChangeSkin(chosen);
    } catch (...) {
        // The skin shown stays; the menu's signal must not carry the fault into Qt.
        TMessages::ShowFailure("スキンを変更できませんでした: " + chosen);
    }
}

void TForm1::ChangeSkin(const std::string& chosenFile)
{
    const std::string dir = Paths::ExtractFilePath(chosenFile);
    // The record keeps the directory in 259 bytes; a longer one could not be restored.
    if (dir.size() >= TPlayerSettings::SkinPathSize)
        throw ERangeError("スキンのフォルダのパスが長すぎます (" + std::to_string(dir.size()) +
                          " バイト、259 バイトまで)");
    // The window stays mapped while its skin changes; nothing is drawn before the change is
    // complete. Unmapped and mapped again, a window restored from the taskbar came back iconic.
    Skin->SkinDir = dir;
    Skin->ApplyFilesOrFallBack();
    DragOrigin = pos();
    Skin->StoreShown();
}
