#include "Unit1.h"

#include "DisplayText.h"
#include "EFileError.h"
#include "ERangeError.h"
#include "OggWuvorbisLib.h"
#include "Paths.h"
#include "PlaylistRules.h"
#include "SjisConv.h"
#include "SkinIni.h"
#include "TApplication.h"
#include "TSpeedButton.h"
#include "TStringList.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "ui_Unit1.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QRegion>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>

TForm1* Form1 = nullptr;
const std::string SettingsFileName = "zkv108.info";

namespace {
const char* const GlyphNames[7] = {"bPlay.bmp", "bStop.bmp",   "bPause.bmp", "bBack.bmp",
                                   "bNext.bmp", "bRewind.bmp", "bFast.bmp"};
const char* const ButtonKeys[7] = {"PLAY", "STOP", "PAUSE", "BACK", "NEXT", "REWIND", "FAST"};

// Label places come from skin.ini sums; keep them well inside what a widget can be moved to.
int Coord(int32_t base, int offset)
{
    const int64_t v = static_cast<int64_t>(base) + offset;
    return static_cast<int>(std::clamp<int64_t>(v, -1000000, 1000000));
}

// A colour value whose lowest byte is red, middle green, high blue.
void SetFontColor(QLabel* label, uint32_t color)
{
    QPalette pal = label->palette();
    const QColor c(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                   static_cast<int>((color >> 16) & 0xFF));
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        pal.setColor(group, QPalette::WindowText, c);
    label->setPalette(pal);
}

// The bytes of a Shift-JIS text without a lead byte left dangling at its end (after a cut).
std::string WholeCharacters(const std::string& sjis)
{
    size_t i = 0;
    while (i < sjis.size()) {
        const auto b = static_cast<unsigned char>(sjis[i]);
        const bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        if (lead && i + 1 >= sjis.size())
            break;
        i += lead ? 2 : 1;
    }
    return sjis.substr(0, i);
}
}

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

    for (QWidget* w : std::initializer_list<QWidget*>{Image1, LTitle, LTime, LTotalTime})
        w->installEventFilter(this);
    for (TSpeedButton* b : Buttons()) {
        plainLayout_.push_back({b, b->geometry(), b->palette()});
        connect(b, &QAbstractButton::clicked, this, [this, b] { bPlayClick(b); });
    }
    for (QWidget* w : std::initializer_list<QWidget*>{Image1, LTitle, LTime, LTotalTime})
        plainLayout_.push_back({w, w->geometry(), w->palette()});
    SetupFonts();
    SetupMenusAndTimers();

    appDirGiven_ = appDir;
    try {
        FormCreate();
    } catch (...) {
        // As for any handler: the message is shown and the window stays; the steps after the
        // failing one are not done.
        TApplication::HandleException();
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

    SkinLoadDialog = new QFileDialog(this);
    SkinLoadDialog->setObjectName(QStringLiteral("SkinLoadDialog"));
    SkinLoadDialog->setWindowTitle(QStringLiteral("スキンの変更"));
    SkinLoadDialog->setNameFilter(QStringLiteral("スキン情報ファイル(.ini) (*.ini)"));
    SkinLoadDialog->setDefaultSuffix(QStringLiteral("ini"));
    SkinLoadDialog->setFileMode(QFileDialog::ExistingFile);
    SkinLoadDialog->setAcceptMode(QFileDialog::AcceptOpen);

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
        TApplication::ShowMessage("OggStreamクラス生成失敗");
        CloseWindowClick();
    }
    TrayData.cbSize = 88;
    TrayData.Wnd = this;
    TrayData.uID = 1;
    TrayData.uFlags = 7;
    TrayData.uCallbackMessage = 1025;
    TrayData.hIcon = AppIcon();
    TrayIcon->setIcon(TrayData.hIcon);
    SetTrayTip("Ostra Ogg Player");
}

void TForm1::FormDestroy()
{
    if (TrayIcon != nullptr)
        TrayIcon->hide();
    WriteSettingsFile();
}

void TForm1::StorePositions()
{
    Settings.MainLeft = pos().x();
    Settings.MainTop = pos().y();
    if (Form2 != nullptr) {
        Settings.PlaylistLeft = Form2->pos().x();
        Settings.PlaylistTop = Form2->pos().y();
    }
}

void TForm1::WriteSettingsFile()
{
    if (AppDir.empty())
        return;
    Settings.SaveToFile(AppDir + SettingsFileName);
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

void TForm1::contextMenuEvent(QContextMenuEvent* event)
{
    PopupMenu1->popup(event->globalPos());
}

void TForm1::N1Click()
{
    if (Form2 != nullptr)
        Form2->show();
    Settings.PlaylistShown = 1;
}

void TForm1::MLoopSetClick()
{
    if (Form3 != nullptr) {
        Form3->move(x() + frameGeometry().width(), y());
        Form3->show();
    }
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
    const size_t n = std::min<size_t>(sjis.size(), sizeof TrayData.szTip - 1);
    std::memset(TrayData.szTip, 0, sizeof TrayData.szTip);
    std::memcpy(TrayData.szTip, sjis.data(), n);
    if (TrayIcon != nullptr)
        TrayIcon->setToolTip(SjisToQString(WholeCharacters(std::string(TrayData.szTip, n))));
}

QIcon TForm1::AppIcon()
{
    QIcon icon;
    for (int size : {16, 22, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const double s = size;
        QLinearGradient g(0, 0, 0, s);
        g.setColorAt(0, QColor(58, 92, 140));
        g.setColorAt(1, QColor(24, 40, 70));
        p.setBrush(g);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(0.5, 0.5, s - 1, s - 1));
        // A loop arrow round a play triangle: the player's loops and its play button.
        p.setPen(QPen(QColor(240, 200, 110), s * 0.09, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(s * 0.18, s * 0.18, s * 0.64, s * 0.64), 100 * 16, 290 * 16);
        QPainterPath tri;
        tri.moveTo(s * 0.42, s * 0.34);
        tri.lineTo(s * 0.66, s * 0.5);
        tri.lineTo(s * 0.42, s * 0.66);
        tri.closeSubpath();
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(250, 250, 250));
        p.drawPath(tri);
        p.end();
        icon.addPixmap(pm);
    }
    return icon;
}

// ---- Display text ----

void TForm1::SetLabelCaption(QLabel* label, const std::string& sjis)
{
    const QString shown = SjisToQString(sjis);
    label->setProperty("Caption", QByteArray(sjis.data(), static_cast<qsizetype>(sjis.size())));
    label->setProperty("CaptionShown", shown);
    label->setText(shown);
    // The labels size themselves to their text.
    label->adjustSize();
}

std::string TForm1::LabelCaption(const QLabel* label)
{
    // The bytes stand only while the label still shows what they were converted to; text set
    // on the label directly (plain ASCII such as "0:00.0" or empty text) is taken as it is.
    const QVariant v = label->property("Caption");
    if (v.isValid() && label->property("CaptionShown").toString() == label->text()) {
        const QByteArray bytes = v.toByteArray();
        return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    const QByteArray text = label->text().toLatin1();
    return std::string(text.constData(), static_cast<size_t>(text.size()));
}

// ---- Skins and the settings file ----

void TForm1::LoadSettingsAndSkin()
{
    const std::string path = AppDir + SettingsFileName;
    if (Settings.LoadFromFile(path)) {
        SkinDir = Settings.SkinPathText();
        move(Settings.MainLeft, Settings.MainTop);
        S3->setChecked(Settings.FastLoad != 0);
    } else {
        SkinDir = AppDir + "skin/default/";
        // A program directory too long for the record leaves the stored path empty.
        Settings.SetSkinPath(SkinDir);
        Settings.MainLeft = pos().x();
        Settings.MainTop = pos().y();
        Settings.PlaylistLeft = pos().x();
        Settings.PlaylistTop = pos().y();
        Settings.LoopTimes = 0;
        Settings.VolumeLevel = 10000;
        Settings.PlaylistShown = 0;
        Settings.LoopWindowShown = 0;
        Settings.VolumeWindowShown = 0;
        Settings.FastLoad = 0;
    }
    SkinLoadDialog->setDirectory(QString::fromStdString(AppDir + "skin"));
    ApplySkinFilesOrFallBack();
}

void TForm1::ApplySkinFilesOrFallBack()
{
    try {
        ApplySkinFiles();
        return;
    } catch (...) {
        TApplication::HandleException();
    }
    // A broken skin: the default skin instead, and the settings remember the skin shown.
    const std::string fallback = AppDir + "skin/default/";
    if (SkinDir != fallback) {
        SkinDir = fallback;
        try {
            ApplySkinFiles();
            Settings.SetSkinPath(SkinDir);
            return;
        } catch (...) {
            TApplication::HandleException();
        }
    }
    RestorePlainLayout();
}

void TForm1::ApplySkinFiles()
{
    for (size_t i = 0; i < ButtonGlyphFiles.size(); ++i)
        ButtonGlyphFiles[i] = SkinDir + GlyphNames[i];
    const std::string facePath = SkinDir + "face.bmp";
    ReadSkinIni();
    QImage face;
    if (!face.load(QString::fromStdString(facePath)) || face.isNull())
        throw EFileError::CannotOpen(facePath);
    FaceImage = face.convertToFormat(QImage::Format_RGB32);
    Image1->setPixmap(QPixmap::fromImage(FaceImage));
    Image1->resize(FaceImage.size());
    resize(FaceImage.size());
    BuildWindowRegion();
    for (TSpeedButton* b : Buttons())
        ApplyButtonSkin(b);
}

void TForm1::ReadSkinIni()
{
    TStringList ini;
    ini.LoadFromFile(SkinDir + "skin.ini");
    const int32_t x = SkinIni::ReadInt(ini, "DISPLAY_X");
    const int32_t y = SkinIni::ReadInt(ini, "DISPLAY_Y");
    LTitle->move(Coord(x, 2), Coord(y, 1));
    SetFontColor(LTitle, SkinIni::ReadColor(ini, "TITLE_COLOR"));
    LTime->move(Coord(x, 6), Coord(y, 20));
    SetFontColor(LTime, SkinIni::ReadColor(ini, "TIME_COLOR"));
    LTotalTime->move(Coord(x, 78), Coord(y, 25));
    SetFontColor(LTotalTime, SkinIni::ReadColor(ini, "TOTALTIME_COLOR"));
    for (size_t i = 0; i < ButtonLayouts.size(); ++i) {
        const std::string key = ButtonKeys[i];
        ButtonLayouts[i].X = SkinIni::ReadInt(ini, key + "_BUTTON_X");
        ButtonLayouts[i].Y = SkinIni::ReadInt(ini, key + "_BUTTON_Y");
        ButtonLayouts[i].Trans = SkinIni::ReadInt(ini, key + "_BUTTON_TRANS") != 0;
    }
}

uint32_t TForm1::ParseSkinColor(const std::string& value)
{
    return SkinIni::ParseSkinColor(value);
}

void TForm1::BuildWindowRegion()
{
    const int w = FaceImage.width();
    const int h = FaceImage.height();
    if (w <= 0 || h <= 0) {
        clearMask();
        return;
    }
    // Every pixel of exactly the top-left pixel's colour is cut away, in runs along each row.
    const QRgb key = FaceImage.pixel(0, 0) & 0xFFFFFFu;
    QList<QRect> runs;
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(FaceImage.constScanLine(y));
        int x = 0;
        while (x < w) {
            if ((line[x] & 0xFFFFFFu) != key) {
                ++x;
                continue;
            }
            const int x0 = x;
            while (x < w && (line[x] & 0xFFFFFFu) == key)
                ++x;
            runs.append(QRect(x0, y, x - x0, 1));
        }
    }
    // The runs are disjoint and lie inside the face, so taking them away from the whole
    // rectangle is the same as combining each into it by exclusive-or.
    QRegion cut;
    cut.setRects(runs.constData(), static_cast<int>(runs.size()));
    setMask(QRegion(0, 0, w, h).subtracted(cut));
}

void TForm1::ApplyButtonSkin(TSpeedButton* button)
{
    const int tag = button->Tag();
    if (tag < 0 || tag >= static_cast<int>(ButtonLayouts.size()))
        return;
    button->LoadGlyph(ButtonGlyphFiles[static_cast<size_t>(tag)]);
    const TButtonLayout& layout = ButtonLayouts[static_cast<size_t>(tag)];
    button->move(Coord(layout.X, 0), Coord(layout.Y, 0));
    button->resize(button->Glyph().width() / button->NumGlyphs(), button->Glyph().height());
}

void TForm1::RestorePlainLayout()
{
    FaceImage = QImage();
    Image1->clear();
    clearMask();
    resize(258, 110);
    for (const PlainPlace& place : plainLayout_) {
        place.Widget->setGeometry(place.Geometry);
        place.Widget->setPalette(place.Palette);
    }
    for (TSpeedButton* b : Buttons())
        b->ClearGlyph();
}

void TForm1::S1Click()
{
    if (SkinLoadDialog->exec() != QDialog::Accepted)
        return;
    const QStringList files = SkinLoadDialog->selectedFiles();
    if (files.isEmpty())
        return;
    ChangeSkin(files.first().toStdString());
}

void TForm1::ChangeSkin(const std::string& chosenFile)
{
    const std::string dir = Paths::ExtractFilePath(chosenFile);
    // The record keeps the directory in 259 bytes; a longer one could not be restored.
    if (dir.size() >= TPlayerSettings::SkinPathSize)
        throw ERangeError("スキンのフォルダのパスが長すぎます (" + std::to_string(dir.size()) +
                          " バイト、259 バイトまで)");
    hide();
    SkinDir = dir;
    ApplySkinFilesOrFallBack();
    show();
    DragOrigin = pos();
    Settings.SetSkinPath(SkinDir);
}

// ---- Playback: the transport buttons, the tray menu and the timers ----

namespace {
// A lead byte of a double-byte character in the Windows Japanese code page.
bool IsSjisLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Whole units of a time reading, truncated toward zero and kept to what an int holds.
int64_t Truncated(double value)
{
    if (!(value == value))
        return 0;
    return static_cast<int64_t>(std::clamp(value, -2.0e15, 2.0e15));
}

std::string TimeTextOf(int64_t seconds, int64_t tenths)
{
    char text[64];
    std::snprintf(text, sizeof text, "%lld:%02lld.%lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60), static_cast<long long>(tenths));
    return text;
}
}

std::string TForm1::TimeText(float seconds)
{
    // The product is taken in double: it is then exact for every float, so 0.7 s (a float just
    // below 0.7) shows its tenths as the value it really holds.
    const int64_t s = Truncated(seconds);
    const int64_t d = Truncated(static_cast<double>(seconds) * 10.0) - s * 10;
    return TimeTextOf(s, d);
}

std::string TForm1::PadCaption(const std::string& sjis)
{
    if (sjis.size() >= 21)
        return sjis + "    ";
    return sjis + std::string(21 - sjis.size(), ' ');
}

std::string TForm1::ScrollCaption(const std::string& sjis)
{
    if (sjis.empty())
        return sjis;
    const size_t n = std::min<size_t>(IsSjisLeadByte(static_cast<unsigned char>(sjis[0])) ? 2 : 1, sjis.size());
    return sjis.substr(n) + sjis.substr(0, n);
}

int TForm1::CurrentEntry() const
{
    return OggFileList->currentRow();
}

void TForm1::AdvanceEntry()
{
    const int count = OggFileList->count();
    const int index = CurrentEntry();
    const int next = index == count - 1 ? 0 : index + 1;
    OggFileList->setCurrentRow(next < count ? next : -1);
}

void TForm1::BackEntry()
{
    const int count = OggFileList->count();
    int index = CurrentEntry() - 1;
    if (index < 0)
        index = count - 1;
    OggFileList->setCurrentRow(index);
}

int TForm1::LoopCountValue() const
{
    if (Form3 != nullptr && Form3->LoopCount != nullptr)
        return static_cast<int16_t>(Form3->LoopCount->value());
    return static_cast<int16_t>(static_cast<uint32_t>(Settings.LoopTimes) & 0xFFFFu);
}

void TForm1::PlayEntry(int index)
{
    // The tray menu and bPlay pass the current entry unchecked (-1 with none); such an index,
    // or one left behind by a list that has since shrunk, plays nothing and changes nothing.
    if (index < 0 || index >= OggFileList->count())
        return;
    OggStream.PauseTime = 0.0f;
    NextPlayTimer->stop();
    OggStream.SetMute(false);
    const std::string path = TPlaylist::PathAt(OggFileList, index);
    bool played = false;
    try {
        played = OggStream.Play(path, false);
    } catch (...) {
        // Not Ogg Vorbis: the message is shown and the program goes on. The entry is not
        // selected and the display keeps its texts; nothing follows until the user acts, so the
        // timers must not take the stream's empty state for a piece that ended or looped.
        CurrentExt.clear();
        TApplication::HandleException();
        return;
    }
    if (!played) {
        // The program ends. While the message is up its timers would go on and, finding
        // nothing playing, try the next entry and show the message again: they stop first.
        Timer3->stop();
        NextPlayTimer->stop();
        TApplication::ShowMessage("再生失敗");
        CloseWindowClick();
    }
    std::string name;
    if (Form2 != nullptr && Form2->Playlist) {
        Form2->Playlist->Select(index);
        name = Form2->Playlist->Name(index);
    } else {
        OggFileList->setCurrentRow(index);
        name = Utf8ToSjis(Paths::ExtractFileName(path));
    }
    const std::string ext = Paths::ExtractFileExt(path);
    CurrentExt = ext == ".OGG" ? ".ogg" : ext == ".QV" ? ".qv" : ext;
    const std::string caption = "[" + std::to_string(index + 1) + "] " + name;
    TApplication::SetTitle(SjisToQString(caption));
    SetTrayTip(caption);
    SetLabelCaption(LTitle, PadCaption(caption));
    SetLabelCaption(LTotalTime, TimeText(OggStream.GetTotalTime()));
}

void TForm1::bPlayClick(TSpeedButton* sender)
{
    if (sender == nullptr || OggFileList->count() == 0)
        return;
    switch (sender->Tag()) {
    case 0:
        P1Click();
        break;
    case 1:
        S2Click();
        break;
    case 2:
        OggStream.Pause();
        break;
    case 3:
        BackEntry();
        PlayCurrentAfterStop();
        break;
    case 4:
        AdvanceEntry();
        PlayCurrentAfterStop();
        break;
    case 5:
        // Only a rewind past the start stops the piece; that goes to the previous entry.
        if (OggStream.Rewind(5.0f)) {
            BackEntry();
            PlayCurrentAfterStop();
        }
        break;
    case 6:
        if (OggStream.Forward(5.0f)) {
            AdvanceEntry();
            PlayCurrentAfterStop();
        }
        break;
    default:
        break;
    }
}

void TForm1::PlayCurrentAfterStop()
{
    OggStream.Stop();
    LoopsDone = 0;
    LastSecond = 0.0f;
    PlayEntry(CurrentEntry());
}

void TForm1::P1Click()
{
    if (OggStream.PauseTime.load() != 0.0f) {
        OggStream.Pause();
        return;
    }
    LoopsDone = 0;
    LastSecond = 0.0f;
    PlayEntry(CurrentEntry());
}

void TForm1::A1Click()
{
    OggStream.Pause();
}

void TForm1::S2Click()
{
    OggStream.Stop();
    CurrentExt.clear();
    LoopsDone = 0;
    LastSecond = 0.0f;
}

void TForm1::N2Click()
{
    AdvanceEntry();
    PlayCurrentAfterStop();
}

void TForm1::B1Click()
{
    BackEntry();
    PlayCurrentAfterStop();
}

void TForm1::Timer1Timer()
{
    if (OggStream.PauseTime.load() != 0.0f)
        return;
    // One reading gives both the seconds and the tenths: two readings taken apart could fall
    // on both sides of a whole second and show ten tenths.
    const double t = OggStream.GetOutputTime();
    const int64_t s = Truncated(t);
    const int64_t d = Truncated(t * 10.0) - s * 10;
    ShownSeconds = static_cast<int32_t>(std::clamp<int64_t>(s, INT32_MIN, INT32_MAX));
    ShownTenths = static_cast<int32_t>(d);
    // Repainting is most of what this costs; a time that stands still (stopped, or the end of a
    // piece not yet noticed) is not drawn again.
    const std::string text = TimeTextOf(s, d);
    if (LTime->text() != QLatin1String(text.c_str()))
        SetLabelCaption(LTime, text);
}

void TForm1::Timer2Timer()
{
    const std::string caption = LabelCaption(LTitle);
    if (caption.empty())
        return;
    SetLabelCaption(LTitle, ScrollCaption(caption));
}

void TForm1::Timer3Timer()
{
    // 1. The piece has ended: silence the rest of the buffer and move on a second later.
    if (!OggStream.IsPlaying() && OggStream.PauseTime.load() == 0.0f &&
        (CurrentExt == ".ogg" || CurrentExt == ".qv") && !NextPlayTimer->isActive()) {
        OggStream.PauseTime = OggStream.GetTotalTime();
        OggStream.SetMute(true);
        NextPlayTimer->start();
    }
    // 2. A looped container: a whole second or more back means it jumped to its loop start.
    if (OggStream.IsPlaying() && OggStream.PauseTime.load() == 0.0f && CurrentExt == ".qv") {
        const int32_t c = static_cast<int32_t>(Truncated(OggStream.GetOutputTime()));
        ShownSeconds = c;
        const int k = LoopCountValue();
        if (static_cast<float>(c) < LastSecond && k != -1)
            ++LoopsDone;
        if (k < LoopsDone && k != -1) {
            OggStream.FadeOut(8.0f);
            LoopsDone = 0;
            CurrentExt = "qv";
        } else {
            LastSecond = static_cast<float>(c);
        }
    }
    // 3. The closing fade has reached silence and the data has stopped: the next entry.
    if (!OggStream.IsPlaying() && OggStream.PauseTime.load() == 0.0f && CurrentExt == "qv") {
        CurrentExt.clear();
        LastSecond = 0.0f;
        AdvanceEntry();
        PlayEntry(CurrentEntry());
    }
}

void TForm1::NextPlayTimerTimer()
{
    // One tick only: PlayEntry would stop it, but an entry that cannot be played (the list
    // was cleared meanwhile) must not leave it firing and later start a piece by itself.
    NextPlayTimer->stop();
    if (LoopSwitch) {
        const int k = LoopCountValue();
        if (k != -1)
            ++LoopsDone;
        if (k < LoopsDone && k != -1) {
            LoopsDone = 0;
            AdvanceEntry();
        }
    } else {
        AdvanceEntry();
        LastSecond = 0.0f;
    }
    PlayEntry(CurrentEntry());
}

// ---- File intake: the drop on the window and the command line ----

bool TForm1::TakeInNames(const std::vector<std::string>& names, int firstStep)
{
    try {
        for (size_t i = 0; i < names.size(); ++i) {
            if (Form5 != nullptr)
                TForm5::Step(Form5->LoadingBar, firstStep + static_cast<int>(i));
            const std::string& name = names[i];
            if (PlaylistRules::IsAudioName(name))
                Form2->AddPlaylistEntry(name);
            else if (PlaylistRules::IsM3uName(name))
                Form2->LoadPlaylistFile(name);
        }
        return true;
    } catch (...) {
        // The intake stops at the failing name; the entries before it stay (both lists in
        // step) and the error is shown once.
        if (Form5 != nullptr)
            Form5->HideLoading();
        TApplication::HandleException();
        return false;
    }
}

void TForm1::PlayFirstEntry()
{
    if (OggFileList->count() < 1)
        return;
    Form2->Playlist->Select(0);
    OggStream.Stop();
    CurrentExt.clear();
    LoopsDone = 0;
    LastSecond = 0.0f;
    PlayEntry(0);
}

void TForm1::WMDropFiles(const std::vector<std::string>& names)
{
    if (Form2 == nullptr || !Form2->Playlist)
        return;
    Form2->Playlist->Clear();
    if (Form5 != nullptr) {
        TForm5::SetMaximum(Form5->LoadingBar, static_cast<int>(names.size()));
        Form5->ShowLoading();
    }
    const bool whole = TakeInNames(names, 0);
    if (Form5 != nullptr) {
        Form5->HideLoading();
        TForm5::Step(Form5->LoadingBar, 0);
    }
    if (whole)
        PlayFirstEntry();
}

void TForm1::LoadCommandLine()
{
    std::vector<std::string> params;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QByteArray native = QFile::encodeName(args[i]);
        params.emplace_back(native.constData(), static_cast<size_t>(native.size()));
    }
    // Qt hands the parameters over as text, which loses the bytes of a name that is not valid
    // in the locale's encoding. The process's own record has them exactly; it is taken when Qt
    // took none of the parameters for itself (then both lists are the same length).
    std::ifstream cmdline("/proc/self/cmdline", std::ios::binary);
    std::vector<std::string> raw;
    for (std::string arg; std::getline(cmdline, arg, '\0');)
        raw.push_back(arg);
    if (raw.size() == static_cast<size_t>(args.size()) && !raw.empty())
        params.assign(raw.begin() + 1, raw.end());
    LoadCommandLine(params);
}

void TForm1::LoadCommandLine(const std::vector<std::string>& params)
{
    if (params.empty() || Form2 == nullptr || !Form2->Playlist)
        return;
    Form2->Playlist->Clear();
    if (Form5 != nullptr) {
        TForm5::SetMaximum(Form5->LoadingBar, static_cast<int>(params.size()));
        Form5->ShowLoading();
    }
    // The bar counts the parameters from 1 and keeps its last position.
    const bool whole = TakeInNames(params, 1);
    if (Form5 != nullptr)
        Form5->HideLoading();
    if (whole)
        PlayFirstEntry();
}

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return;
    std::vector<std::string> names;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        const QByteArray native = QFile::encodeName(url.toLocalFile());
        names.emplace_back(native.constData(), static_cast<size_t>(native.size()));
    }
    event->acceptProposedAction();
    WMDropFiles(names);
}
