// The main window on Qt's offscreen platform: start-up, the settings file, skins, dragging, the
// menus and the application's error display. Each test has its own program directory.
#include "AppTest.h"
#include "CaptionText.h"
#include "DisplayText.h"
#include "ERangeError.h"
#include "OggFixture.h"
#include "PlayerSettings.h"
#include "TApplication.h"
#include "TFaceDisplay.h"
#include "TMainSkin.h"
#include "TSpeedButton.h"
#include "TestSkin.h"
#include "Unit1.h"
#include "Unit3.h"

#include <QFileDialog>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSet>
#include <QMouseEvent>
#include <QSpinBox>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using fixture::FreshDir;

// Each test has its own program directory with a throwaway skin and no decoder library.
class MainWindow : public apptest::AppTest {
protected:
    void SetUp() override
    {
        appDir = FreshDir("app");
        TestSkin{}.Write(appDir + "skin/default/");
        messages.clear();
    }
    TForm1& Start()
    {
        OpenWindows();
        return *form1;
    }
    // Ends the run as the program does: the loop ends, positions are taken, the windows die.
    void Quit()
    {
        form1->CloseWindowClick();
        QApplication::exec();
        EndRun();
    }
    TPlayerSettings StoredSettings()
    {
        TPlayerSettings s;
        EXPECT_TRUE(s.LoadFromFile(appDir + "zkv108.info"));
        return s;
    }
    bool HasMessage(const std::string& part) const
    {
        for (const auto& m : messages)
            if (m.find(part) != std::string::npos)
                return true;
        return false;
    }
    // Puts the decoder library beside the program; false when the build has not made it.
    bool ProvideDecoder() { return apptest::LinkDecoder(appDir); }
};

QColor TextColor(const QLabel* label)
{
    return label->palette().color(QPalette::WindowText);
}

void Mouse(QWidget* target, QEvent::Type type, QPoint global, Qt::MouseButton button, Qt::MouseButtons held)
{
    const QPointF local = target->mapFromGlobal(QPointF(global));
    QMouseEvent e(type, local, QPointF(global), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &e);
}

}  // namespace

// ---- Start-up ----

TEST_F(MainWindow, StartsWithoutDecoderLibraryShowingThePathAndStillOpens)
{
    TForm1& f = Start();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("wuvorbis.dllが存在しません。"), std::string::npos);
    EXPECT_NE(messages[0].find(appDir + "wuvorbis.dll"), std::string::npos);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.size(), QSize(120, 50));  // the skin was applied before the library was tried
    // The steps after the library did not run: no tray record, and the window refuses to hide.
    EXPECT_FALSE(f.TrayReady());
    emit f.PopupMenu1->aboutToShow();
    EXPECT_FALSE(f.t1->isEnabled());
    f.t1Click();
    EXPECT_TRUE(f.isVisible());
    EXPECT_FALSE(f.TrayIcon->isVisible());
}

TEST_F(MainWindow, StartsCleanlyWithTheDecoderLibrary)
{
    if (!ProvideDecoder())
        GTEST_SKIP() << "wuvorbis.dll has not been built";
    TForm1& f = Start();
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_TRUE(f.TrayReady());
    EXPECT_EQ(f.TrayData.cbSize, 88u);
    EXPECT_EQ(f.TrayData.uFlags, 7u);
    EXPECT_EQ(f.TrayData.uCallbackMessage, 1025u);
    EXPECT_STREQ(f.TrayData.szTip, "Ostra Ogg Player");
    EXPECT_EQ(f.TrayIcon->toolTip(), QStringLiteral("Ostra Ogg Player"));
    EXPECT_FALSE(f.TrayIcon->isVisible());  // the icon appears only when going to the tray
    EXPECT_EQ(f.AppDir, appDir);
}

TEST_F(MainWindow, TheSkinDialogOpensInTheProgramsSkinFolder)
{
    TForm1& f = Start();
    EXPECT_TRUE(f.SkinLoadDialog->nameFilters().join(" ").contains(QStringLiteral("*.ini")));
    EXPECT_EQ(f.SkinLoadDialog->directory().absolutePath().toStdString() + "/", appDir + "skin/");
}

TEST_F(MainWindow, EveryMenuGivesEachAccessKeyOnce)
{
    TForm1& f = Start();
    for (QMenu* menu : f.findChildren<QMenu*>()) {
        QSet<QChar> keys;
        for (QAction* a : menu->actions()) {
            const qsizetype amp = a->text().indexOf(QLatin1Char('&'));
            if (amp < 0 || amp + 1 >= a->text().size())
                continue;
            const QChar key = a->text().at(amp + 1).toUpper();
            EXPECT_FALSE(keys.contains(key)) << menu->objectName().toStdString() << ": " << a->text().toStdString();
            keys.insert(key);
        }
    }
}

TEST_F(MainWindow, JapaneseFontsMapToTheInstalledGothic)
{
    TForm1& f = Start();
    // Qt keeps substitutions in small letters.
    EXPECT_TRUE(QFont::substitutes(QStringLiteral("MS UI Gothic")).contains(QStringLiteral("IPAPGothic"), Qt::CaseInsensitive));
    EXPECT_TRUE(QFont::substitutes(QStringLiteral("ＭＳ Ｐゴシック")).contains(QStringLiteral("IPAPGothic"), Qt::CaseInsensitive));
    EXPECT_EQ(f.LTime->font().pixelSize(), 19);
    EXPECT_TRUE(f.LTime->font().bold());
    EXPECT_TRUE(QFontInfo(f.LTitle->font()).family().contains(QStringLiteral("IPA")))
        << QFontInfo(f.LTitle->font()).family().toStdString();
}

// ---- The settings file ----

TEST_F(MainWindow, FirstRunUsesDefaultsAndWritesThemAtExit)
{
    TForm1& f = Start();
    const QPoint placed = f.pos();
    EXPECT_EQ(f.Settings.VolumeLevel, 10000);
    EXPECT_EQ(f.Settings.LoopTimes, 0);
    EXPECT_EQ(f.Settings.SkinPathText(), appDir + "skin/default/");
    EXPECT_EQ(f.Skin->SkinDir, appDir + "skin/default/");
    EXPECT_EQ(f.Settings.PlaylistLeft, placed.x());
    EXPECT_EQ(f.Settings.PlaylistTop, placed.y());
    EXPECT_EQ(f.Settings.PlaylistShown + f.Settings.LoopWindowShown + f.Settings.VolumeWindowShown, 0);
    EXPECT_FALSE(f.S3->isChecked());
    Quit();

    EXPECT_EQ(std::filesystem::file_size(appDir + "zkv108.info"), 288u);
    const TPlayerSettings s = StoredSettings();
    EXPECT_EQ(s.VolumeLevel, 10000);
    EXPECT_EQ(s.LoopTimes, 0);
    EXPECT_EQ(s.FastLoad, 0);
    EXPECT_EQ(s.MainLeft, placed.x());
    EXPECT_EQ(s.SkinPathText(), appDir + "skin/default/");
}

TEST_F(MainWindow, QuitStoresThePositionAndFastLoadAndTheNextStartRestoresThem)
{
    TForm1& f = Start();
    f.move(123, 45);
    f.S3->trigger();
    EXPECT_EQ(f.Settings.FastLoad, 1);
    f.CloseWindow->trigger();  // "終了(&X)"
    QApplication::exec();
    EndRun();

    const TPlayerSettings s = StoredSettings();
    EXPECT_EQ(s.MainLeft, 123);
    EXPECT_EQ(s.MainTop, 45);
    EXPECT_EQ(s.FastLoad, 1);

    TForm1& again = Start();
    EXPECT_EQ(again.pos(), QPoint(123, 45));
    EXPECT_TRUE(again.S3->isChecked());
    again.S3->trigger();
    EXPECT_EQ(again.Settings.FastLoad, 0);
}

TEST_F(MainWindow, StoredSkinDirectoryIsUsedUnchanged)
{
    const std::string elsewhere = FreshDir("moved-skin");
    TestSkin big;
    big.face = QSize(200, 60);
    big.Write(elsewhere);
    TPlayerSettings s;
    s.VolumeLevel = 500;
    s.MainLeft = 10;
    s.MainTop = 20;
    ASSERT_TRUE(s.SetSkinPath(elsewhere));
    ASSERT_TRUE(s.SaveToFile(appDir + "zkv108.info"));

    TForm1& f = Start();
    EXPECT_EQ(f.Skin->SkinDir, elsewhere);
    EXPECT_EQ(f.size(), QSize(200, 60));
    EXPECT_EQ(f.pos(), QPoint(10, 20));
    EXPECT_EQ(f.Settings.VolumeLevel, 500);
}

TEST_F(MainWindow, TheOpenLoopWindowsCountIsStoredAtQuit)
{
    TPlayerSettings s = TPlayerSettings::FirstRun(0, 0);
    s.LoopTimes = 2;
    ASSERT_TRUE(s.SaveToFile(appDir + "zkv108.info"));
    Start().MLoopSetClick();
    Form3->LoopCount->setValue(4);
    Quit();  // the window still open
    EXPECT_EQ(StoredSettings().LoopTimes, 4);
    Start();
    EXPECT_EQ(Form3->LoopCount->value(), 4);
    EXPECT_FALSE(form1->LoopSwitch);
}

TEST_F(MainWindow, SettingsAreWrittenThroughALinkAndAFailureIsReportedByName)
{
    const std::string target = FreshDir("kept") + "zkv108.info";
    std::filesystem::create_symlink(target, appDir + "zkv108.info");
    Start().move(77, 66);
    Quit();
    EXPECT_TRUE(std::filesystem::is_symlink(appDir + "zkv108.info"));
    TPlayerSettings s;
    ASSERT_TRUE(s.LoadFromFile(target));
    EXPECT_EQ(s.MainLeft, 77);

    Start();
    std::filesystem::remove(target);
    std::filesystem::create_directory(target);  // a directory in the file's place
    messages.clear();
    Quit();
    EXPECT_EQ(messages, std::vector<std::string>{"設定ファイル " + appDir + "zkv108.info を保存できませんでした。"});
}

// The default skin's path no longer fits the record from a program folder of 246 bytes on.
TEST_F(MainWindow, AProgramFolderTooLongForTheSkinPathStoresNoneAndStartsQuietly)
{
    const std::string base = appDir;
    for (size_t folder : {245u, 246u}) {
        appDir = base + std::string(150, 'a') + "/";
        appDir += std::string(folder - appDir.size(), 'b') + "/";
        TestSkin{}.Write(appDir + "skin/default/");
        Start();
        Quit();
        const std::string stored = folder < 246 ? appDir + "skin/default/" : "";
        EXPECT_EQ(StoredSettings().SkinPathText(), stored) << folder;
        messages.clear();
        Start();
        EXPECT_EQ(form1->size(), QSize(120, 50));
        EXPECT_FALSE(HasMessage("skin.ini"));
        Quit();
    }
}

// ---- Skins ----

TEST_F(MainWindow, SkinPlacesLabelsAndButtonsAndColoursTheText)
{
    TestSkin skin;
    skin.ini["DISPLAY_X"] = "30";
    skin.ini["DISPLAY_Y"] = "4";
    skin.ini["TITLE_COLOR"] = "255,0,0";
    skin.ini["TIME_COLOR"] = "0,0,255";
    skin.ini["TOTALTIME_COLOR"] = "1,,2,3";
    skin.ini["FAST_BUTTON_X"] = "99";
    skin.ini["FAST_BUTTON_Y"] = "33";
    skin.strip = QSize(50, 14);  // 50 / 3 leaves 16 with a remainder
    skin.Write(appDir + "skin/default/");
    TForm1& f = Start();

    EXPECT_EQ(f.LTitle->pos(), QPoint(32, 5));
    EXPECT_EQ(f.LTime->pos(), QPoint(36, 24));
    EXPECT_EQ(f.LTotalTime->pos(), QPoint(108, 29));
    EXPECT_EQ(TextColor(f.LTitle), QColor(0, 0, 255));  // 255,0,0 is blue
    EXPECT_EQ(TextColor(f.LTime), QColor(255, 0, 0));   // 0,0,255 is red
    EXPECT_EQ(TextColor(f.LTotalTime), QColor(3, 2, 1));
    EXPECT_EQ(f.bFast->geometry(), QRect(99, 33, 16, 14));
    EXPECT_EQ(f.bPlay->size(), QSize(16, 14));
    EXPECT_TRUE(f.Skin->ButtonLayouts[1].Trans);
    EXPECT_FALSE(f.Skin->ButtonLayouts[0].Trans);
    EXPECT_EQ(f.Skin->ButtonGlyphFiles[5], appDir + "skin/default/bRewind.bmp");
}

TEST_F(MainWindow, SkinKeysMatchInLowerCase)
{
    TestSkin skin;
    skin.ini.erase("DISPLAY_X");
    skin.extraLines = {"display_x=40"};
    skin.Write(appDir + "skin/default/");
    TForm1& f = Start();
    EXPECT_TRUE(messages.size() == 1 && HasMessage("wuvorbis.dll")) << messages.front();
    EXPECT_EQ(f.LTitle->x(), 42);
}

TEST_F(MainWindow, ASkinChosenInAFolderTooLongForTheRecordIsReportedAndTheSkinStays)
{
    // Chosen through the menu: the fault ends in the handler's own message instead of
    // unwinding through the menu's signal into Qt.
    const std::string longDir = FreshDir("long-skin") + std::string(240, 'x') + "/";
    TestSkin{}.Write(longDir);
    TForm1& f = Start();
    messages.clear();
    const std::string shown = f.Skin->SkinDir;
    QTimer::singleShot(0, &f, [&] {
        f.SkinLoadDialog->selectFile(QFile::decodeName(QByteArray::fromStdString(longDir + "skin.ini")));
        static_cast<QDialog*>(f.SkinLoadDialog.get())->accept();
    });
    EXPECT_NO_THROW(f.S1->trigger());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(HasMessage("スキンを変更できませんでした: " + longDir + "skin.ini\nスキンのフォルダのパスが長すぎます"))
        << messages[0];
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Skin->SkinDir, shown);
    EXPECT_EQ(f.Settings.SkinPathText(), shown);
}

TEST_F(MainWindow, BrokenSkinShowsTheErrorAndFallsBackToTheDefault)
{
    // A blank before "=" leaves DISPLAY_X missing in the chosen skin.
    const std::string broken = FreshDir("broken-skin");
    TestSkin bad;
    bad.face = QSize(90, 40);
    bad.ini.erase("DISPLAY_X");
    bad.extraLines = {"DISPLAY_X =10"};
    bad.Write(broken);
    TForm1& f = Start();
    messages.clear();

    f.ChangeSkin(broken + "skin.ini");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(HasMessage("DISPLAY_X"));
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Skin->SkinDir, appDir + "skin/default/");
    EXPECT_EQ(f.size(), QSize(120, 50));
    // The listener saw the choice fail: the record names the skin shown, not to fail again.
    EXPECT_EQ(f.Settings.SkinPathText(), appDir + "skin/default/");

    // A stored skin that fails at start-up (a drive not mounted yet) stands aside for one run.
    Quit();
    TPlayerSettings s = StoredSettings();
    ASSERT_TRUE(s.SetSkinPath(broken));
    ASSERT_TRUE(s.SaveToFile(appDir + "zkv108.info"));
    Start();
    EXPECT_EQ(form1->size(), QSize(120, 50));
    Quit();
    EXPECT_EQ(StoredSettings().SkinPathText(), broken);
}

TEST_F(MainWindow, WithoutAnyUsableSkinThePlainWindowRemains)
{
    std::filesystem::remove(appDir + "skin/default/face.bmp");
    TForm1& f = Start();
    ASSERT_GE(messages.size(), 1u);
    EXPECT_TRUE(HasMessage("face.bmp"));
    EXPECT_EQ(f.size(), QSize(258, 110));
    EXPECT_TRUE(f.mask().isEmpty());
    EXPECT_EQ(f.bPlay->geometry(), QRect(72, 40, 16, 16));
    EXPECT_EQ(f.bFast->geometry(), QRect(216, 40, 16, 16));
    EXPECT_EQ(f.LTime->pos(), QPoint(112, 64));
    EXPECT_EQ(TextColor(f.LTitle), QColor(128, 128, 128));
    EXPECT_FALSE(f.bPlay->HasGlyph());
}

TEST_F(MainWindow, AMissingGlyphIsReportedByName)
{
    const std::string partial = FreshDir("partial-skin");
    TestSkin skin;
    skin.skipFiles = {"bNext.bmp"};
    skin.Write(partial);
    TForm1& f = Start();
    messages.clear();
    f.ChangeSkin(partial + "skin.ini");
    EXPECT_TRUE(HasMessage("bNext.bmp"));
    EXPECT_EQ(f.Skin->SkinDir, appDir + "skin/default/");
}

TEST_F(MainWindow, RegionCutsExactlyTheKeyColouredRuns)
{
    TestSkin skin;
    skin.face = QSize(20, 10);
    skin.keyCorner = 1;  // only the top-left and top-right pixels
    skin.paint = [](QImage& img) {
        img.setPixelColor(19, 0, QColor(60, 70, 90));      // back to the body: a lone key pixel
        for (int x = 0; x < 20; ++x)
            img.setPixelColor(x, 4, QColor(255, 0, 255));  // a whole key row
        for (int x = 15; x < 20; ++x)
            img.setPixelColor(x, 7, QColor(255, 0, 255));  // a run to the right edge
        img.setPixelColor(5, 8, QColor(255, 0, 254));      // close to the key is not the key
    };
    skin.Write(appDir + "skin/default/");
    TForm1& f = Start();
    const QRegion m = f.mask();
    EXPECT_FALSE(m.contains(QPoint(0, 0)));
    EXPECT_TRUE(m.contains(QPoint(1, 0)));
    EXPECT_TRUE(m.contains(QPoint(19, 0)));
    for (int x = 0; x < 20; ++x)
        EXPECT_FALSE(m.contains(QPoint(x, 4))) << x;
    EXPECT_TRUE(m.contains(QPoint(14, 7)));
    for (int x = 15; x < 20; ++x)
        EXPECT_FALSE(m.contains(QPoint(x, 7))) << x;
    EXPECT_TRUE(m.contains(QPoint(5, 8)));
    // Everything else stays: 200 pixels less the lone pixel, the row and the run of five.
    int area = 0;
    for (const QRect& r : m)
        area += r.width() * r.height();
    EXPECT_EQ(area, 200 - 1 - 20 - 5);
}

// Black is the window's transparent colour: black face pixels and the pixels of a text drawn in
// black are cut away too; a face whose outline no display would take is refused, and the
// default skin stands in.
TEST_F(MainWindow, BlackPixelsAreCutAndAnOverlyComplexFaceIsRefused)
{
    TestSkin skin;
    skin.face = QSize(200, 60);
    skin.paint = [](QImage& img) {
        for (int x = 150; x < 154; ++x)
            img.setPixelColor(x, 10, QColor(0, 0, 0));
        img.setPixelColor(160, 10, QColor(1, 0, 0));  // near black is not black
    };
    skin.ini["TIME_COLOR"] = "0,0,0";
    skin.Write(appDir + "skin/default/");
    TForm1& f = Start();
    const QRegion shown = f.mask();
    for (int x = 150; x < 154; ++x)
        EXPECT_FALSE(shown.contains(QPoint(x, 10))) << x;
    EXPECT_TRUE(shown.contains(QPoint(160, 10)));
    const QRect time = f.LTime->geometry();
    int cut = 0;
    for (int y = time.top(); y <= time.bottom(); ++y)
        for (int x = time.left(); x <= time.right(); ++x)
            cut += shown.contains(QPoint(x, y)) ? 0 : 1;
    EXPECT_GT(cut, 20) << "the black time text is not cut";

    // The time text changes: the cut follows it. The face's own clock owns the label, so it is
    // let run until the window is on screen, and then stopped, before the test writes the text.
    ASSERT_TRUE(apptest::WaitWithEvents([&] { return f.windowHandle() && f.windowHandle()->isExposed(); },
                                        std::chrono::seconds(5)));
    f.Timer1->stop();
    const QRegion before = f.mask();
    f.LTime->setText(QStringLiteral("8:88.8"));
    f.LTime->repaint();
    ASSERT_TRUE(apptest::WaitWithEvents([&] { return f.mask() != before; }, std::chrono::seconds(2)));

    const std::string busy = FreshDir("busy-skin");
    TestSkin checker;
    checker.face = QSize(600, 400);
    checker.keyCorner = 0;
    checker.paint = [](QImage& img) {
        for (int y = 0; y < img.height(); ++y)
            for (int x = (y % 2); x < img.width(); x += 2)
                img.setPixelColor(x, y, QColor(255, 0, 255));
    };
    checker.Write(busy);
    messages.clear();
    f.ChangeSkin(busy + "skin.ini");
    EXPECT_TRUE(HasMessage("複雑"));
    EXPECT_EQ(f.Skin->SkinDir, appDir + "skin/default/");
}

TEST_F(MainWindow, ChoosingAnyIniInASkinDirectoryReadsItsSkinIniAndStoresThePath)
{
    const std::string light = FreshDir("light");
    TestSkin other;
    other.face = QSize(150, 44);
    other.ini["DISPLAY_X"] = "50";
    other.Write(light);
    std::ofstream(light + "readme.ini") << "DISPLAY_X=1\r\nnot a skin\r\n";
    TForm1& f = Start();
    f.move(60, 70);
    f.ChangeSkin(light + "readme.ini");
    EXPECT_EQ(f.Skin->SkinDir, light);
    EXPECT_EQ(f.LTitle->x(), 52);
    EXPECT_EQ(f.size(), QSize(150, 44));
    EXPECT_EQ(f.pos(), QPoint(60, 70));
    EXPECT_EQ(f.DragOrigin, QPoint(60, 70));
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.Settings.SkinPathText(), light);
    Quit();

    TForm1& again = Start();
    EXPECT_EQ(again.Skin->SkinDir, light);
    EXPECT_EQ(again.size(), QSize(150, 44));
}

TEST_F(MainWindow, ASkinDirectoryTooLongForTheRecordIsRefused)
{
    TForm1& f = Start();
    const std::string longDir = "/" + std::string(300, 'd') + "/";
    EXPECT_THROW(f.ChangeSkin(longDir + "skin.ini"), ERangeError);
    EXPECT_EQ(f.Skin->SkinDir, appDir + "skin/default/");
    EXPECT_TRUE(f.isVisible());
}

// ---- Dragging, menus, the error display ----

TEST_F(MainWindow, DraggingWithTheLeftButtonMovesTheWindow)
{
    TForm1& f = Start();
    f.move(100, 100);
    Mouse(f.Image1, QEvent::MouseButtonPress, QPoint(110, 110), Qt::LeftButton, Qt::LeftButton);
    Mouse(f.Image1, QEvent::MouseMove, QPoint(140, 120), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(f.pos(), QPoint(130, 110));
    Mouse(f.LTime, QEvent::MouseMove, QPoint(135, 125), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(f.pos(), QPoint(125, 115));

    // The right button does not move it, but its press still takes the new origin.
    Mouse(f.LTitle, QEvent::MouseButtonPress, QPoint(300, 300), Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(f.DragOrigin, QPoint(300, 300));
    Mouse(f.LTitle, QEvent::MouseMove, QPoint(320, 330), Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(f.pos(), QPoint(125, 115));
    Mouse(&f, QEvent::MouseMove, QPoint(310, 305), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(f.pos(), QPoint(135, 120));
}

TEST_F(MainWindow, AnEscapedExceptionIsShownAndTheProgramGoesOn)
{
    Start();
    messages.clear();
    QTimer::singleShot(0, [] { throw ERangeError("ファイルの読み込みに失敗"); });
    QTimer::singleShot(0, [] { throw 42; });
    QTimer::singleShot(5, [] { QCoreApplication::exit(0); });
    QApplication::exec();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "ファイルの読み込みに失敗");
    EXPECT_EQ(messages[1], "");
}

TEST_F(MainWindow, TrayTipIsCutTo63BytesInTheRecordAndShownWhole)
{
    TForm1& f = Start();
    f.SetTrayTip(std::string(70, 'a'));
    EXPECT_EQ(std::string(f.TrayData.szTip), std::string(63, 'a'));
    EXPECT_EQ(f.TrayIcon->toolTip(), QString(70, QChar('a')));
    f.SetTrayTip(std::string(62, 'b') + "\x82\xa0");  // "あ" across the 63rd byte
    EXPECT_EQ(std::strlen(f.TrayData.szTip), 63u);
    EXPECT_EQ(f.TrayIcon->toolTip(), QString(62, QChar('b')) + QStringLiteral("あ"));
    EXPECT_EQ(f.LTitle->toolTip(), f.TrayIcon->toolTip());
}

// In both skins a long title is cut at its panel's edge, scrolled or not, and its tip shows it whole.
TEST_F(MainWindow, ALongTitleStaysInsideItsPanel)
{
    TForm1& f = Start();
    const std::string whole = "[1] " + std::string(90, 'W');
    // The panels' borders stand at 250 and 249; the title ends 2 pixels inside.
    for (const auto& [skin, right] : {std::pair{"default", 248}, std::pair{"light", 247}}) {
        f.ChangeSkin(fixture::BinDir() + "/skin/" + skin + "/skin.ini");
        f.SetTrayTip(whole);
        DisplayText::SetLabelCaption(f.LTitle, CaptionText::PadCaption(whole));
        for (int scrolled = 0; scrolled < 3; ++scrolled) {
            EXPECT_EQ(f.LTitle->geometry().right() + 1, right) << skin << ' ' << scrolled;
            TFaceDisplay::ScrollCaption(f.LTitle);
        }
        EXPECT_EQ(f.LTitle->toolTip(), QString::fromStdString(whole)) << skin;
    }
    // A line across one of the rows, or a speck, does not end the panel; its border does.
    QImage face(60, 20, QImage::Format_RGB32);
    face.fill(qRgb(20, 40, 50));
    face.setPixel(40, 10, qRgb(200, 200, 200));
    for (int x = 0; x < 60; ++x)
        face.setPixel(x, 15, x < 50 ? qRgb(40, 80, 100) : qRgb(20, 40, 50));
    for (int y = 0; y < 20; ++y)
        face.setPixel(50, y, qRgb(120, 130, 150));
    EXPECT_EQ(TMainSkin::PanelRight(face, QRect(2, 0, 1, 20)), 50);
}

TEST_F(MainWindow, LabelCaptionsKeepTheirShiftJisBytes)
{
    TForm1& f = Start();
    const std::string title = "[1] \x83\x65\x83\x58\x83\x67";  // "[1] テスト"
    DisplayText::SetLabelCaption(f.LTitle, title);
    EXPECT_EQ(f.LTitle->text(), QStringLiteral("[1] テスト"));
    EXPECT_EQ(DisplayText::LabelCaption(f.LTitle), title);
    // Text put on the label directly replaces the bytes.
    f.LTitle->setText(QString());
    EXPECT_EQ(DisplayText::LabelCaption(f.LTitle), "");
    EXPECT_EQ(DisplayText::LabelCaption(f.LTime), "0:00.0");
}
