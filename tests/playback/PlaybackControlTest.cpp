// The transport buttons, the tray menu, the display and the timers of the main window, on the
// real stream player. The timers are stopped; each test calls their handlers itself.
#include "PlaybackFixture.h"

#include "OggFixture.h"

#include "TApplication.h"
#include "TSpeedButton.h"
#include "TickCount.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"

#include <QCoreApplication>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <thread>

using namespace playback_test;

namespace {
// Shift-JIS "デモ" (U+30C7 U+30E2): two double-byte characters.
const std::string Demo = "\x83\x66\x83\x82";
}

TEST(TimeText, MinutesSecondsAndTruncatedTenths)
{
    EXPECT_EQ(TForm1::TimeText(0.0f), "0:00.0");
    EXPECT_EQ(TForm1::TimeText(75.37f), "1:15.3");
    EXPECT_EQ(TForm1::TimeText(3599.96f), "59:59.9");
    EXPECT_EQ(TForm1::TimeText(3600.0f), "60:00.0");
    // 0.7 as a float lies just below 0.7.
    EXPECT_EQ(TForm1::TimeText(0.7f), "0:00.6");
}

TEST(CaptionText, PaddingAndScrollingByBytes)
{
    EXPECT_EQ(TForm1::PadCaption(std::string(25, 'x')), std::string(25, 'x') + "    ");
    EXPECT_EQ(TForm1::PadCaption("[1] ABCDE!"), "[1] ABCDE!" + std::string(11, ' '));
    EXPECT_EQ(TForm1::PadCaption(std::string(21, 'x')), std::string(21, 'x') + "    ");
    EXPECT_EQ(TForm1::ScrollCaption(Demo + "ab"), "\x83\x82" "ab\x83\x66");
    EXPECT_EQ(TForm1::ScrollCaption("ab" + Demo), "b" + Demo + "a");
    EXPECT_EQ(TForm1::ScrollCaption(""), "");
    EXPECT_EQ(TForm1::ScrollCaption("\x83"), "\x83");
}

TEST_F(PlaybackTest, EmptyListButtonsAndTrayMenuDoNothing)
{
    for (TSpeedButton* b : form1->Buttons())
        form1->bPlayClick(b);
    form1->P1Click();
    form1->N2Click();
    form1->B1Click();
    form1->A1Click();
    form1->S2Click();
    EXPECT_FALSE(form1->OggStream.IsPlaying());
    EXPECT_EQ(Caption(), "");
    EXPECT_TRUE(messages.empty());
}

TEST_F(PlaybackTest, TitleCaptionApplicationTitleAndTrayTip)
{
    const std::string longName = "\x83\x8B\x81\x5B\x83\x76" + std::string(70, 'L');  // "ループ" + 70 bytes
    Add({MakeOgg("t25.ogg", 0.5, std::string(21, 'A')), MakeOgg("t10.ogg", 2.5, "ABCDEF"),
         MakeOgg("long.ogg", 0.5, "ループ" + std::string(70, 'L'))});
    form1->PlayEntry(0);
    EXPECT_EQ(TForm1::LabelCaption(form1->LTitle), "[1] " + std::string(21, 'A') + "    ");
    form1->PlayEntry(1);
    EXPECT_EQ(TForm1::LabelCaption(form1->LTitle), "[2] ABCDEF" + std::string(11, ' '));
    EXPECT_EQ(TApplication::Title(), QStringLiteral("[2] ABCDEF"));
    EXPECT_STREQ(form1->TrayData.szTip, "[2] ABCDEF");
    EXPECT_EQ(TForm1::LabelCaption(form1->LTotalTime), "0:02.5");
    EXPECT_EQ(form1->CurrentEntry(), 1);
    EXPECT_EQ(form2->Playlist->Selected(), 1);

    form1->PlayEntry(2);
    const std::string caption = "[3] " + longName;
    EXPECT_EQ(Caption(), caption);
    EXPECT_EQ(TApplication::Title(), QStringLiteral("[3] ループ") + QString(70, QLatin1Char('L')));
    EXPECT_EQ(std::strlen(form1->TrayData.szTip), 63u);
    EXPECT_EQ(std::string(form1->TrayData.szTip), caption.substr(0, 63));
}

TEST_F(PlaybackTest, TitleScrollsADoubleByteCharacterWhole)
{
    Add({MakeOgg("jp.ogg", 0.5, "デモ")});
    form1->PlayEntry(0);
    const std::string start = TForm1::LabelCaption(form1->LTitle);
    ASSERT_EQ(start, "[1] " + Demo + std::string(13, ' '));
    for (int i = 0; i < 4; ++i)
        form1->Timer2Timer();
    EXPECT_EQ(TForm1::LabelCaption(form1->LTitle), Demo + std::string(13, ' ') + "[1] ");
    form1->Timer2Timer();
    EXPECT_EQ(TForm1::LabelCaption(form1->LTitle), "\x83\x82" + std::string(13, ' ') + "[1] \x83\x66");
    EXPECT_TRUE(form1->LTitle->text().startsWith(QStringLiteral("モ")));
    form1->Timer2Timer();
    EXPECT_FALSE(form1->LTitle->text().contains(QChar(0xFFFD)));
    // A whole turn brings the caption back.
    for (int i = 0; i < 13; ++i)
        form1->Timer2Timer();
    EXPECT_EQ(TForm1::LabelCaption(form1->LTitle), start);
}

TEST_F(PlaybackTest, BackAndNextWrapAroundTheList)
{
    Add({MakeOgg("a.ogg", 3, "A"), MakeOgg("b.ogg", 3, "B"), MakeOgg("c.ogg", 3, "C")});
    form1->PlayEntry(0);
    form1->bPlayClick(form1->bBack);
    EXPECT_EQ(form1->CurrentEntry(), 2);
    EXPECT_EQ(Caption(), "[3] C");
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    form1->bPlayClick(form1->bNext);
    EXPECT_EQ(Caption(), "[1] A");
    form1->B1Click();
    EXPECT_EQ(Caption(), "[3] C");
    form1->N2Click();
    EXPECT_EQ(Caption(), "[1] A");
    form1->N2Click();
    EXPECT_EQ(Caption(), "[2] B");
    EXPECT_EQ(form2->Playlist->Selected(), 1);
}

TEST_F(PlaybackTest, RewindAndForwardMoveOnlyPastTheEnds)
{
    Add({MakeOgg("long1.ogg", 12, "L1"), MakeOgg("short.ogg", 4, "S"), MakeOgg("long2.ogg", 12, "L2")});
    // Within the first five seconds a rewind plays the previous entry (wrapping to the last).
    form1->PlayEntry(0);
    form1->bPlayClick(form1->bRewind);
    EXPECT_EQ(Caption(), "[3] L2");
    // In the middle of a piece both seek and the entry stays.
    form1->bPlayClick(form1->bFast);
    EXPECT_EQ(Caption(), "[3] L2");
    EXPECT_GE(form1->OggStream.OggData->TimeTell(), 5.0f);
    form1->bPlayClick(form1->bRewind);
    EXPECT_EQ(Caption(), "[3] L2");
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    // Within the last five seconds a forward plays the next entry.
    form1->PlayEntry(1);
    form1->bPlayClick(form1->bFast);
    EXPECT_EQ(Caption(), "[3] L2");
    EXPECT_LT(form1->OggStream.OggData->TimeTell(), 5.0f);
}

TEST_F(PlaybackTest, PlayResumesAPauseEvenAfterAStopAndRestartsAStop)
{
    Add({MakeOgg("p.ogg", 20, "P")});
    form1->PlayEntry(0);
    form1->bPlayClick(form1->bFast);  // well into the piece
    form1->bPlayClick(form1->bPause);
    const float paused = form1->OggStream.PauseTime.load();
    ASSERT_GE(paused, 5.0f);
    EXPECT_FALSE(form1->OggStream.IsPlaying());
    // The shown time stands still while paused.
    TForm1::SetLabelCaption(form1->LTime, "9:99.9");
    form1->Timer1Timer();
    EXPECT_EQ(TForm1::LabelCaption(form1->LTime), "9:99.9");
    // A stop while paused keeps the paused place; play resumes there.
    form1->bPlayClick(form1->bStop);
    EXPECT_EQ(form1->OggStream.PauseTime.load(), paused);
    EXPECT_EQ(form1->CurrentExt, "");
    form1->bPlayClick(form1->bPlay);
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_EQ(form1->OggStream.PauseTime.load(), 0.0f);
    EXPECT_GE(form1->OggStream.OggData->TimeTell(), paused);
    // A plain stop: play starts the entry again from its start.
    form1->bPlayClick(form1->bStop);
    EXPECT_FALSE(form1->OggStream.IsPlaying());
    form1->bPlayClick(form1->bPlay);
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_LT(form1->OggStream.OggData->TimeTell(), 5.0f);
    EXPECT_EQ(form1->CurrentExt, ".ogg");
    form1->Timer1Timer();
    EXPECT_TRUE(form1->LTime->text().contains(QRegularExpression(QStringLiteral("^0:0\\d\\.\\d$"))))
        << form1->LTime->text().toStdString();
}

TEST_F(PlaybackTest, EndedPieceMovesOnOnlyForTheFourSpellings)
{
    Add({MakeOgg("mixed.Ogg", 0.3, "M"), MakeOgg("caps.OGG", 0.3, "C"), MakeOgg("next.ogg", 0.3, "N")});
    // ".Ogg" plays, but when it ends nothing follows.
    form1->PlayEntry(0);
    EXPECT_EQ(form1->CurrentExt, ".Ogg");
    ASSERT_TRUE(WaitFor([&] { return !form1->OggStream.IsPlaying(); }));
    form1->Timer3Timer();
    EXPECT_FALSE(form1->NextPlayTimer->isActive());
    // ".OGG" counts as ".ogg": the end is noticed, the rest is silenced, a second later the next.
    form1->PlayEntry(1);
    EXPECT_EQ(form1->CurrentExt, ".ogg");
    ASSERT_TRUE(WaitFor([&] { return !form1->OggStream.IsPlaying(); }));
    form1->Timer3Timer();
    EXPECT_TRUE(form1->NextPlayTimer->isActive());
    EXPECT_EQ(form1->OggStream.PauseTime.load(), form1->OggStream.GetTotalTime());
    EXPECT_TRUE(form1->OggStream.Mute.load());
    form1->Timer3Timer();  // noticed once only
    form1->NextPlayTimerTimer();
    EXPECT_EQ(Caption(), "[3] N");
    EXPECT_FALSE(form1->NextPlayTimer->isActive());
    EXPECT_FALSE(form1->OggStream.Mute.load());
    // After the user's stop nothing follows.
    form1->bPlayClick(form1->bStop);
    ASSERT_TRUE(WaitFor([&] { return !form1->OggStream.IsPlaying(); }));
    form1->Timer3Timer();
    EXPECT_FALSE(form1->NextPlayTimer->isActive());
}

TEST_F(PlaybackTest, LoopSwitchRepeatsAPlainFileByTheLoopCount)
{
    Add({MakeOgg("one.ogg", 0.3, "One"), MakeOgg("two.ogg", 0.3, "Two")});
    auto endAndNext = [&] {
        EXPECT_TRUE(WaitFor([&] { return !form1->OggStream.IsPlaying(); }));
        form1->Timer3Timer();
        EXPECT_TRUE(form1->NextPlayTimer->isActive());
        form1->NextPlayTimerTimer();
        return form1->CurrentEntry();
    };
    // Loop count 2: three plays, then the next entry.
    form1->LoopSwitch = true;
    form3->LoopCount->setValue(2);
    form1->PlayEntry(0);
    EXPECT_EQ(endAndNext(), 0);
    EXPECT_EQ(endAndNext(), 0);
    EXPECT_EQ(endAndNext(), 1);
    // Endless: the same entry again and again.
    form3->LoopCount->setValue(-1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(endAndNext(), 1);
    // Without the switch the loop count does not matter; the end of the list wraps.
    form1->LoopSwitch = false;
    form3->LoopCount->setValue(2);
    EXPECT_EQ(endAndNext(), 0);
}

// The loop passes of a looped container, with the output time under the test's control: the
// stream's buffer is held still, the clock pinned, and the decoder set to each reading.
TEST_F(PlaybackTest, LoopPassesCountWholeSecondsBack)
{
    Add({MakeQv("passes.qv", 16, 2.0f, 14.0f, -1), MakeOgg("after.ogg", 1, "After")});
    form3->LoopCount->setValue(1);
    // Plays the container, then holds the buffer still once its first two blocks are made;
    // the clock stands at the last block, so no time has passed since it.
    auto playHeld = [&] {
        TickCount::Release();
        form1->PlayEntry(0);
        ASSERT_EQ(form1->CurrentExt, ".qv");
        ASSERT_TRUE(WaitFor([&] { return form1->OggStream.OggData->TimeTell() > 1.5f; }));
        form1->OggStream.PlayBuffer->Stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        TickCount::Pin(static_cast<uint32_t>(form1->OggStream.OggData->RenderTick.load()));
    };
    playHeld();
    // Output time = decoder time - 2 s of buffer (no time since the last block).
    auto at = [&](float outputTime) {
        form1->OggStream.OggData->TimeSeek(outputTime + 2.0f);
        form1->Timer3Timer();
    };
    at(10.9f);
    at(10.2f);  // back, but within the same whole second: no pass
    EXPECT_EQ(form1->LoopsDone, 0);
    at(11.5f);
    at(3.5f);  // the first pass
    EXPECT_EQ(form1->LoopsDone, 1);
    EXPECT_EQ(form1->CurrentExt, ".qv");
    at(9.0f);
    at(8.0f);  // the second: more than the loop count of 1, so the closing fade begins
    EXPECT_EQ(form1->CurrentExt, "qv");
    EXPECT_EQ(form1->LoopsDone, 0);
    EXPECT_EQ(form1->LastSecond, 9.0f);
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    // Endless (-1) never counts.
    playHeld();
    form3->LoopCount->setValue(-1);
    at(12.0f);
    at(3.0f);
    at(12.0f);
    at(3.0f);
    EXPECT_EQ(form1->LoopsDone, 0);
    EXPECT_EQ(form1->CurrentExt, ".qv");
    TickCount::Release();
}

// The same on music that really plays (faster than real time): with loop count 0 the piece
// fades out right after its first jump back, and the next entry follows once it is silent.
TEST_F(PlaybackTest, LoopedContainerFadesAfterItsPassesAndTheNextFollows)
{
    Start(Device::Fast);
    Add({MakeQv("fade.qv", 8, 2.0f, 6.0f, -1), MakeOgg("then.ogg", 3, "Then")});
    form3->LoopCount->setValue(0);
    form1->PlayEntry(0);
    float highest = 0.0f;
    float atFade = -1.0f;
    const bool moved = WaitFor(
        [&] {
            const float t = form1->OggStream.GetOutputTime();
            form1->Timer3Timer();
            if (atFade < 0.0f && form1->CurrentExt == "qv") {
                atFade = t;
                EXPECT_TRUE(form1->OggStream.IsPlaying());  // a fade, not a stop
            }
            if (atFade < 0.0f)
                highest = std::max(highest, t);
            return form1->CurrentEntry() == 1;
        },
        60.0);
    ASSERT_TRUE(moved);
    // The fade began in the second pass: after the output time had gone back to the loop start.
    EXPECT_GE(highest, 3.0f);
    EXPECT_LT(atFade, highest - 1.0f);
    EXPECT_EQ(Caption(), "[2] Then");
    EXPECT_EQ(form1->CurrentExt, ".ogg");
    EXPECT_TRUE(form1->OggStream.IsPlaying());
}

TEST_F(PlaybackTest, MissingFileEndsTheProgramAndBadDataIsReported)
{
    Add({MakeOgg("good.ogg", 1, "Good")});
    form2->Playlist->Add(MakeFile("bad.ogg", "this is not Ogg Vorbis"), "bad.ogg");
    form2->Playlist->Add(fixture::TempDir() + "/gone.ogg", "gone.ogg");
    form1->PlayEntry(0);
    // Data that is not Ogg Vorbis: the message, and the display stays as it was.
    form1->PlayEntry(1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "ファイルの読み込みに失敗");
    EXPECT_EQ(Caption(), "[1] Good");
    EXPECT_EQ(form1->CurrentEntry(), 0);
    // A missing file: "再生失敗", and the application is told to end.
    form1->PlayEntry(2);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "再生失敗");
    EXPECT_EQ(Caption(), "[3] gone.ogg");
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(5000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
}
