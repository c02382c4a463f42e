// Going to the notification area and back, under a real X server with trayer providing the
// notification area (run by run-with-tray.sh). The clicks on the icon are real X clicks made
// with xdotool, so they travel through trayer to the embedded icon as a user's would.
#include "AppTest.h"
#include "OggFixture.h"
#include "TestSkin.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"

#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QTimer>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>

namespace {

using apptest::WaitWithEvents;
using namespace std::chrono_literals;

// Lets the event loop run for a while.
void Pause(std::chrono::milliseconds time)
{
    WaitWithEvents([] { return false; }, time);
}

void Click(const QPoint& at, int button)
{
    const std::string cmd = "xdotool mousemove " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                            " click " + std::to_string(button);
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

class Tray : public apptest::AppTest {
protected:
    void SetUp() override
    {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "needs an X server with a notification area (run-with-tray.sh)";
        appDir = fixture::FreshDir("tray");
        TestSkin{}.Write(appDir + "skin/default/");
        ASSERT_TRUE(apptest::LinkDecoder(appDir)) << "wuvorbis.dll has not been built";
        messages.clear();
        ASSERT_TRUE(WaitWithEvents([] { return QSystemTrayIcon::isSystemTrayAvailable(); }))
            << "no notification area on this display";
        OpenWindows();
        ASSERT_TRUE(messages.empty()) << messages.front();
        ASSERT_TRUE(form1->TrayReady());
    }
    // The icon's place on the screen once trayer has embedded it.
    QPoint IconCentre()
    {
        QRect r;
        EXPECT_TRUE(WaitWithEvents([&] {
            r = form1->TrayIcon->geometry();
            return r.isValid() && !r.isEmpty();
        })) << "the tray icon was not embedded";
        // Let trayer finish placing and mapping it.
        Pause(300ms);
        return form1->TrayIcon->geometry().center();
    }
    // Clicks the icon until done() holds: trayer may still be placing a newly embedded icon
    // when the first click comes, so a click that found no icon is made again.
    bool ClickIconUntil(int button, const std::function<bool()>& done)
    {
        for (int attempt = 0; attempt < 3; ++attempt) {
            Click(IconCentre(), button);
            if (WaitWithEvents(done, 2500ms))
                return true;
        }
        return false;
    }
    // Left-clicks the icon to restore the main window; then which side windows came back with
    // it: the playlist, the loop-count and the volume window.
    std::array<bool, 3> RestoreByClick()
    {
        EXPECT_TRUE(ClickIconUntil(1, [&] { return form1->isVisible(); })) << "the left click did not restore the window";
        Pause(200ms);
        return {form2->isVisible(), form3->isVisible(), form4->isVisible()};
    }

};

}  // namespace

TEST_F(Tray, LeftClickRestoresExactlyTheWindowsThatWereVisible)
{
    form2->show();
    form4->show();
    form3->hide();
    // Beside the main window, not over it: a wholly covered main window rests its time timer.
    form2->move(form1->geometry().right() + 20, form1->geometry().bottom() + 20);
    ASSERT_TRUE(WaitWithEvents([&] { return form2->isVisible() && form4->isVisible(); }));

    form1->t1->trigger();  // "タスクトレイに格納(&T)"
    EXPECT_FALSE(form1->isVisible());
    EXPECT_FALSE(form2->isVisible());
    EXPECT_FALSE(form4->isVisible());
    EXPECT_TRUE(form1->TrayIcon->isVisible());
    EXPECT_FALSE(form1->Timer1->isActive());
    EXPECT_FALSE(form1->Timer2->isActive());
    EXPECT_TRUE(form1->Timer3->isActive());

    EXPECT_EQ(RestoreByClick(), (std::array<bool, 3>{true, false, true}));
    ASSERT_TRUE(form1->isVisible());
    EXPECT_FALSE(form1->TrayIcon->isVisible());
    EXPECT_TRUE(form1->Timer1->isActive());
    EXPECT_TRUE(form1->Timer2->isActive());

    // Again with another set: only the loop-count window.
    form2->close();
    form4->close();
    form1->MLoopSetClick();
    ASSERT_TRUE(WaitWithEvents([&] { return form3->isVisible() && !form2->isVisible(); }));
    form1->t1Click();
    EXPECT_EQ(RestoreByClick(), (std::array<bool, 3>{false, true, false}));
}

TEST_F(Tray, RightClickOpensTheTrayMenuAndQuittingKeepsTheFlagsFromBeforeHiding)
{
    form2->show();
    ASSERT_TRUE(WaitWithEvents([&] { return form2->isVisible(); }));
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
    EndRun();
    TPlayerSettings s;
    ASSERT_TRUE(s.LoadFromFile(appDir + "zkv108.info"));
    EXPECT_EQ(s.PlaylistShown, 1);
    EXPECT_EQ(s.LoopWindowShown, 0);
    EXPECT_EQ(s.VolumeWindowShown, 0);
}

// Not the tray, but the same real X server: a main window wholly covered by another window
// rests its time timer (nothing it draws would be seen), and ticks again once uncovered.
TEST_F(Tray, AWhollyCoveredMainWindowRestsItsTimeTimer)
{
    ASSERT_TRUE(WaitWithEvents([&] { return form1->isVisible() && form1->Timer1->isActive(); }));
    Pause(300ms);
    QWidget cover(nullptr, Qt::FramelessWindowHint);
    cover.setGeometry(form1->geometry().adjusted(-10, -10, 10, 10));
    cover.show();
    EXPECT_TRUE(WaitWithEvents([&] { return !form1->Timer1->isActive(); }, 3s)) << "covered, Timer1 still runs";
    EXPECT_TRUE(form1->Timer3->isActive());  // the order of play goes on
    cover.move(form1->geometry().right() + 40, form1->y());
    EXPECT_TRUE(WaitWithEvents([&] { return form1->Timer1->isActive(); }, 3s)) << "uncovered, Timer1 rests";
}
