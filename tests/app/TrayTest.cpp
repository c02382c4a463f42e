// Going to the notification area and back, under a real X server with trayer providing the
// notification area (run by run-with-tray.sh). The clicks on the icon are real X clicks made
// with xdotool, so they travel through trayer to the embedded icon as a user's would.
#include "AppTestMain.h"
#include "OggFixture.h"
#include "OggWuvorbisLib.h"
#include "TestSkin.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"

#include <QApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

namespace {

bool WaitFor(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void Click(const QPoint& at, int button)
{
    const std::string cmd = "xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                            " click " + std::to_string(button);
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

class Tray : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs an X server with a notification area (run-with-tray.sh)";
        appDir = FreshDir("tray");
        TestSkin{}.Write(appDir + "skin/default/");
        const std::string lib = fixture::BinDir() + "/wuvorbis.dll";
        ASSERT_TRUE(std::filesystem::exists(lib)) << "wuvorbis.dll has not been built";
        std::filesystem::copy_file(lib, appDir + "wuvorbis.dll");
        g_messages.clear();
        ASSERT_TRUE(WaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
            << "no notification area on this display";
        form1 = std::make_unique<TForm1>(appDir, nullptr);
        form2 = std::make_unique<TForm2>();
        form3 = std::make_unique<TForm3>();
        form4 = std::make_unique<TForm4>();
        ASSERT_TRUE(g_messages.empty()) << g_messages.front();
        ASSERT_TRUE(form1->TrayReady());
    }
    void TearDown() override
    {
        form4.reset();
        form3.reset();
        form2.reset();
        form1.reset();
        _VorbisfileFinalize();
    }
    // The icon's place on the screen once trayer has embedded it.
    QPoint IconCentre()
    {
        QRect r;
        EXPECT_TRUE(WaitFor([&] {
            r = form1->TrayIcon->geometry();
            return r.isValid() && !r.isEmpty();
        })) << "the tray icon was not embedded";
        // Let trayer finish placing and mapping it.
        WaitFor([] { return false; }, 300);
        return form1->TrayIcon->geometry().center();
    }
    // Clicks the icon until done() holds: trayer may still be placing a newly embedded icon
    // when the first click comes, so a click that found no icon is made again.
    bool ClickIconUntil(int button, const std::function<bool()>& done)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            Click(IconCentre(), button);
            if (WaitFor(done, 2500))
                return true;
        }
        return false;
    }

    std::string appDir;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<TForm4> form4;
};

}  // namespace

TEST_F(Tray, LeftClickRestoresExactlyTheWindowsThatWereVisible)
{
    form2->show();
    form4->show();
    form3->hide();
    ASSERT_TRUE(WaitFor([&] { return form2->isVisible() && form4->isVisible(); }));

    form1->t1->trigger();  // "タスクトレイに格納(&T)"
    EXPECT_FALSE(form1->isVisible());
    EXPECT_FALSE(form2->isVisible());
    EXPECT_FALSE(form4->isVisible());
    EXPECT_TRUE(form1->TrayIcon->isVisible());
    EXPECT_FALSE(form1->Timer1->isActive());
    EXPECT_FALSE(form1->Timer2->isActive());
    EXPECT_TRUE(form1->Timer3->isActive());

    ASSERT_TRUE(ClickIconUntil(1, [&] { return form1->isVisible(); })) << "the left click did not restore the window";
    WaitFor([] { return false; }, 200);
    EXPECT_TRUE(form2->isVisible());
    EXPECT_FALSE(form3->isVisible());
    EXPECT_TRUE(form4->isVisible());
    EXPECT_FALSE(form1->TrayIcon->isVisible());
    EXPECT_TRUE(form1->Timer1->isActive());
    EXPECT_TRUE(form1->Timer2->isActive());

    // Again with another set: only the loop-count window.
    form2->close();
    form4->close();
    form1->MLoopSetClick();
    ASSERT_TRUE(WaitFor([&] { return form3->isVisible() && !form2->isVisible(); }));
    form1->t1Click();
    ASSERT_TRUE(ClickIconUntil(1, [&] { return form1->isVisible(); }));
    WaitFor([] { return false; }, 200);
    EXPECT_FALSE(form2->isVisible());
    EXPECT_TRUE(form3->isVisible());
    EXPECT_FALSE(form4->isVisible());
}

TEST_F(Tray, RightClickOpensTheTrayMenuAndQuittingKeepsTheFlagsFromBeforeHiding)
{
    form2->show();
    ASSERT_TRUE(WaitFor([&] { return form2->isVisible(); }));
    form1->t1Click();
    ASSERT_TRUE(ClickIconUntil(3, [&] { return form1->PopupMenu2->isVisible(); })) << "no tray menu";
    const QPoint at = form1->TrayIcon->geometry().center();
    EXPECT_TRUE(form1->PopupMenu2->geometry().adjusted(-2, -2, 2, 2).contains(QCursor::pos()) ||
                (form1->PopupMenu2->geometry().center() - at).manhattanLength() < 400);
    EXPECT_FALSE(form1->isVisible());
    form1->PopupMenu2->close();

    // "終了(&X)" of the tray menu while hidden.
    form1->Q1->trigger();
    QApplication::exec();
    form1->StorePositions();
    form4.reset();
    form3.reset();
    form2.reset();
    form1.reset();
    TPlayerSettings s;
    ASSERT_TRUE(s.LoadFromFile(appDir + "zkv108.info"));
    EXPECT_EQ(s.PlaylistShown, 1);
    EXPECT_EQ(s.LoopWindowShown, 0);
    EXPECT_EQ(s.VolumeWindowShown, 0);
}
