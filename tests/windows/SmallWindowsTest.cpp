// The loop-count, volume and loading windows: their values, where they open, and what reaches
// the settings record and the stream player.
#include "AppTest.h"
#include "TScreenPlace.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"

#include <QLabel>
#include <QProgressBar>
#include <QScrollBar>
#include <QSpinBox>

using WindowsTest = apptest::AppTest;

namespace {
int StreamVolume()
{
    return Form1->OggStream.GetVolume();
}
}

TEST_F(WindowsTest, WithoutSettingsFileFullVolumeLoopCountZeroAndNoSideWindowShown)
{
    EXPECT_EQ(Form4->VolumeBar->value(), 10000);
    EXPECT_EQ(Form4->Label1->text(), "10000");
    EXPECT_EQ(StreamVolume(), 0);
    EXPECT_EQ(Form3->LoopCount->value(), 0);
    EXPECT_EQ(Form3->LoopCount->minimum(), -1);
    EXPECT_EQ(Form3->LoopCount->maximum(), 99);
    EXPECT_FALSE(Form3->LoopCount->wrapping());
    EXPECT_FALSE(Form1->LoopSwitch);
    EXPECT_FALSE(Form2->isVisible());
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_FALSE(Form4->isVisible());
    EXPECT_FALSE(Form5->isVisible());
    EXPECT_EQ(Form3->windowTitle(), "ループ回数");
    EXPECT_EQ(Form4->windowTitle(), "音量変更");
    EXPECT_EQ(Form5->windowTitle(), "Now Loading...");
    EXPECT_EQ(Form3->Label1->text(), "-1 で永久ループ");
    EXPECT_TRUE(messages.empty());
}

TEST_F(WindowsTest, VolumeBarReachesTheStreamAsPositionMinus10000AndIsKept)
{
    Form4->VolumeBar->setValue(0);
    EXPECT_EQ(StreamVolume(), -10000);
    EXPECT_EQ(Form4->Label1->text(), "0");
    EXPECT_EQ(Form1->Settings.VolumeLevel, 0);

    Form4->VolumeBar->setValue(5000);
    EXPECT_EQ(StreamVolume(), -5000);
    EXPECT_EQ(Form4->Label1->text(), "5000");
    EXPECT_EQ(Form1->Settings.VolumeLevel, 5000);

    // The next start hands the stored level to the stream before anything plays.
    Restart();
    EXPECT_EQ(Form4->VolumeBar->value(), 5000);
    EXPECT_EQ(StreamVolume(), -5000);
}

TEST_F(WindowsTest, StoredVolumeOutsideTheBarIsBroughtIntoRange)
{
    Form1->Settings.VolumeLevel = 25000;
    Restart();
    EXPECT_EQ(Form4->VolumeBar->value(), 10000);
    EXPECT_EQ(StreamVolume(), 0);
    Form1->Settings.VolumeLevel = -7;
    Restart();
    EXPECT_EQ(Form4->VolumeBar->value(), 0);
    EXPECT_EQ(StreamVolume(), -10000);
}

TEST_F(WindowsTest, LoopCountCountsOnlyWhenTheWindowIsClosed)
{
    Form1->MLoopSetClick();
    ASSERT_TRUE(Form3->isVisible());
    EXPECT_EQ(Form1->Settings.LoopWindowShown, 1);

    Form3->LoopCount->setValue(3);
    EXPECT_EQ(Form1->Settings.LoopTimes, 0);  // not yet: only closing stores it
    EXPECT_FALSE(Form1->LoopSwitch);
    Form3->close();
    EXPECT_FALSE(Form3->isVisible());
    EXPECT_EQ(Form1->Settings.LoopTimes, 3);
    EXPECT_TRUE(Form1->LoopSwitch);
    EXPECT_EQ(Form1->Settings.LoopWindowShown, 0);

    // After a restart the count is back, but looping is not switched on by it alone.
    Restart();
    EXPECT_EQ(Form3->LoopCount->value(), 3);
    EXPECT_FALSE(Form1->LoopSwitch);

    Form3->show();
    Form3->LoopCount->setValue(0);
    Form3->close();
    EXPECT_FALSE(Form1->LoopSwitch);
    EXPECT_EQ(Form1->Settings.LoopTimes, 0);
}

TEST_F(WindowsTest, EndlessLoopCountSwitchesLoopingOnAndIsRestored)
{
    Form3->show();
    Form3->LoopCount->setValue(-1);
    Form3->close();
    EXPECT_TRUE(Form1->LoopSwitch);
    EXPECT_EQ(Form1->Settings.LoopTimes, -1);
    Restart();
    EXPECT_EQ(Form3->LoopCount->value(), -1);
    EXPECT_FALSE(Form1->LoopSwitch);
}

TEST_F(WindowsTest, ShowingTheLoopWindowAgainResetsAnUnclosedChange)
{
    Form3->show();
    Form3->LoopCount->setValue(2);
    Form3->close();
    Form3->show();
    Form3->LoopCount->setValue(7);
    Form3->hide();  // as going to the notification area does
    Form3->show();
    EXPECT_EQ(Form3->LoopCount->value(), 2);
    EXPECT_EQ(Form1->Settings.LoopTimes, 2);
}

TEST_F(WindowsTest, StoredLoopCountIsReadAsItsLow16BitsAndKeptInRange)
{
    const struct {
        int32_t stored;
        int shown;
    } cases[] = {{0x0001FFFF, -1}, {0x00010005, 5}, {500, 99}, {-5, -1}, {0x7FFF0000, 0}};
    for (const auto& c : cases) {
        Form1->Settings.LoopTimes = c.stored;
        Restart();
        EXPECT_EQ(Form3->LoopCount->value(), c.shown) << c.stored;
    }
}

TEST_F(WindowsTest, SideWindowsOpenBesideAndBelowTheMainWindow)
{
    Form1->move(200, 150);
    const QRect main = Form1->frameGeometry();
    Form1->MLoopSetClick();
    Form1->V1Click();
    EXPECT_EQ(Form3->pos(), QPoint(main.left() + main.width(), main.top()));
    // The volume window under the loop-count window, not over it.
    EXPECT_EQ(Form4->x(), Form3->x());
    EXPECT_GE(Form4->y(), Form3->y() + Form3->height());
    EXPECT_FALSE(TScreenPlace::Covers(Form4, {Form1, Form3}));
    EXPECT_EQ(Form1->Settings.VolumeWindowShown, 1);

    Form5->ShowLoading();
    EXPECT_EQ(Form5->pos(), QPoint(main.left(), main.top() + main.height()));
    Form5->HideLoading();
    // Not over the playlist window below the main window.
    Form2->move(main.left(), main.bottom() + 1);
    Form2->show();
    Form5->ShowLoading();
    EXPECT_FALSE(TScreenPlace::Covers(Form5, {Form1, Form2, Form3, Form4}));
    Form5->HideLoading();
    Form2->close();

    // Both windows and the playlist window come back at start-up as they were left.
    Form2->move(20, 300);
    Form2->show();
    EXPECT_EQ(Form1->Settings.PlaylistShown, 1);
    Restart();
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_TRUE(Form3->isVisible());
    EXPECT_TRUE(Form4->isVisible());
    EXPECT_EQ(Form2->pos(), QPoint(20, 300));
    for (const QWidget* w : std::initializer_list<const QWidget*>{Form1, Form2, Form3, Form4})
        EXPECT_FALSE(TScreenPlace::Covers(w, {Form1, Form2, Form3, Form4})) << w->objectName().toStdString();

    // A place kept over the main window opens beside it instead.
    Form2->move(Form1->pos() + QPoint(10, 10));
    Restart();
    EXPECT_FALSE(TScreenPlace::Covers(Form2, {Form1}));

    Form4->close();
    EXPECT_EQ(Form1->Settings.VolumeWindowShown, 0);
    Form2->close();
    EXPECT_EQ(Form1->Settings.PlaylistShown, 0);
    EXPECT_FALSE(Form2->isVisible());
}

TEST_F(WindowsTest, AnEmptyLoadingBarIsNoBusyIndicator)
{
    TForm5::SetMaximum(Form5->LoadingBar, 0);  // an empty loop must not become a busy indicator
    EXPECT_GT(Form5->LoadingBar->maximum(), Form5->LoadingBar->minimum());
}
