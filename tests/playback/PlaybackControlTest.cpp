// The main window's playback on the real stream player: its buttons, tray menu and timers reach
// the playback sequence (tested on its own in PlaybackSequenceTest), and the window shows what
// it decides. The timers are stopped; each test calls their handlers itself.
#include "PlaybackFixture.h"

#include "OggFixture.h"
#include "Paths.h"
#include "SjisConv.h"

#include "CaptionText.h"
#include "DisplayText.h"
#include "TApplication.h"
#include "TKeptPlaylist.h"
#include "TSpeedButton.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit5.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <cstring>
#include <filesystem>

using namespace playback_test;

namespace {
// Shift-JIS "デモ" (U+30C7 U+30E2): two double-byte characters.
const std::string Demo = "\x83\x66\x83\x82";
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
    EXPECT_EQ(Caption(), Utf8ToSjis(TForm1::EmptyTitle)) << "an empty player says how music gets in";
    EXPECT_TRUE(messages.empty());
}

TEST_F(PlaybackTest, TitleCaptionApplicationTitleAndTrayTip)
{
    const std::string longName = "\x83\x8B\x81\x5B\x83\x76" + std::string(70, 'L');  // "ループ" + 70 bytes
    Add({MakeOgg("t25.ogg", 0.5, std::string(21, 'A')), MakeOgg("t10.ogg", 2.5, "ABCDEF"),
         MakeOgg("long.ogg", 0.5, "ループ" + std::string(70, 'L'))});
    form1->PlayEntry(0);
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTitle), "[1] " + std::string(21, 'A') + "    ");
    form1->PlayEntry(1);
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTitle), "[2] ABCDEF" + std::string(11, ' '));
    EXPECT_EQ(TApplication::Title(), QStringLiteral("[2] ABCDEF"));
    EXPECT_STREQ(form1->TrayData.szTip, "[2] ABCDEF");
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTotalTime), "0:02.5");
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
    const std::string start = DisplayText::LabelCaption(form1->LTitle);
    ASSERT_EQ(start, "[1] " + Demo + std::string(13, ' '));
    for (int i = 0; i < 4; ++i)
        form1->Timer2Timer();
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTitle), Demo + std::string(13, ' ') + "[1] ");
    form1->Timer2Timer();
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTitle), "\x83\x82" + std::string(13, ' ') + "[1] \x83\x66");
    EXPECT_TRUE(form1->LTitle->text().startsWith(QStringLiteral("モ")));
    form1->Timer2Timer();
    EXPECT_FALSE(form1->LTitle->text().contains(QChar(0xFFFD)));
    // A whole turn brings the caption back.
    for (int i = 0; i < 13; ++i)
        form1->Timer2Timer();
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTitle), start);
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
    EXPECT_GE(form1->OggStream.TimeTell(), 5.0f);
    form1->bPlayClick(form1->bRewind);
    EXPECT_EQ(Caption(), "[3] L2");
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    // Within the last five seconds a forward plays the next entry.
    form1->PlayEntry(1);
    form1->bPlayClick(form1->bFast);
    EXPECT_EQ(Caption(), "[3] L2");
    EXPECT_LT(form1->OggStream.TimeTell(), 5.0f);
}

TEST_F(PlaybackTest, PlayResumesAPauseEvenAfterAStopAndRestartsAStop)
{
    Add({MakeOgg("p.ogg", 20, "P")});
    form1->PlayEntry(0);
    form1->bPlayClick(form1->bFast);  // well into the piece
    form1->bPlayClick(form1->bPause);
    ASSERT_TRUE(form1->OggStream.IsPaused());
    const float paused = form1->OggStream.TimeTell();
    ASSERT_GE(paused, 5.0f);
    EXPECT_FALSE(form1->OggStream.IsPlaying());
    // The shown time stands still while paused.
    DisplayText::SetLabelCaption(form1->LTime, "9:99.9");
    form1->Timer1Timer();
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTime), "9:99.9");
    // A stop while paused keeps the paused place; play resumes there.
    form1->bPlayClick(form1->bStop);
    EXPECT_TRUE(form1->OggStream.IsPaused());
    EXPECT_EQ(form1->CurrentExt, "");
    form1->bPlayClick(form1->bPlay);
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_FALSE(form1->OggStream.IsPaused());
    EXPECT_GE(form1->OggStream.TimeTell(), paused);
    // A plain stop: play starts the entry again from its start.
    form1->bPlayClick(form1->bStop);
    EXPECT_FALSE(form1->OggStream.IsPlaying());
    form1->bPlayClick(form1->bPlay);
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_LT(form1->OggStream.TimeTell(), 5.0f);
    EXPECT_EQ(form1->CurrentExt, ".ogg");
    form1->Timer1Timer();
    EXPECT_TRUE(form1->LTime->text().contains(QRegularExpression(QStringLiteral("^0:0\\d\\.\\d$"))))
        << form1->LTime->text().toStdString();
}

TEST_F(PlaybackTest, EndedPieceMovesOnWhateverTheCaseOfItsName)
{
    const std::vector<std::string> files{MakeOgg("mixed.Ogg", 0.3, "M"), MakeOgg("caps.OGG", 0.3, "C"),
                                         MakeOgg("next.ogg", 0.3, "N")};
    Add(files);
    form1->PlayEntry(0);
    EXPECT_EQ(form1->CurrentExt, ".ogg");
    // The next entry, queued at the start, runs on from the piece's last sound; the check after
    // it is heard shows it.
    ASSERT_TRUE(WaitFor([&] { return form1->OggStream.NextHeard(); }));
    form1->Timer3Timer();
    EXPECT_FALSE(form1->NextPlayTimer->isActive());
    EXPECT_EQ(Caption(), "[2] C");
    EXPECT_EQ(form1->CurrentExt, ".ogg");
    EXPECT_EQ(form1->OggStream.GetFileName(), files[1]);
    // C ended in the same first block, before anything could be queued after it: the end is
    // noticed, the rest is silenced, a second later the next.
    EXPECT_FALSE(form1->OggStream.NextBegun());
    ASSERT_TRUE(WaitFor([&] { return !form1->OggStream.IsPlaying(); }));
    form1->Timer3Timer();
    EXPECT_TRUE(form1->NextPlayTimer->isActive());
    EXPECT_TRUE(form1->OggStream.IsPaused());
    EXPECT_TRUE(form1->OggStream.IsMuted());
    form1->Timer3Timer();  // noticed once only
    form1->NextPlayTimerTimer();
    EXPECT_EQ(Caption(), "[3] N");
    EXPECT_FALSE(form1->NextPlayTimer->isActive());
    EXPECT_FALSE(form1->OggStream.IsMuted());
    // After the user's stop nothing follows.
    form1->bPlayClick(form1->bStop);
    ASSERT_TRUE(WaitFor([&] { return !form1->OggStream.IsPlaying(); }));
    form1->Timer3Timer();
    EXPECT_FALSE(form1->NextPlayTimer->isActive());
}

// A looped container on music that really plays (faster than real time): with loop count 0
// the piece fades out right after its first jump back, and the next entry follows once it is
// silent.
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
        std::chrono::seconds(60));
    ASSERT_TRUE(moved);
    // The fade began in the second pass: after the output time had gone back to the loop start.
    EXPECT_GE(highest, 3.0f);
    EXPECT_LT(atFade, highest - 1.0f);
    EXPECT_EQ(Caption(), "[2] Then");
    EXPECT_EQ(form1->CurrentExt, ".ogg");
    EXPECT_TRUE(form1->OggStream.IsPlaying());
}

// The title shows that a piece loops and which pass is heard, in the brackets with the entry's
// number (so that the tray tip's 63 bytes keep it): "∞" for a loop that never ends, "p/n" for a
// counted one. A loop tag that was refused is named in the title's first pass, and no box stops
// the music.
TEST_F(PlaybackTest, TheTitleShowsTheLoopAndThePassHeard)
{
    const std::string inf = "\x81\x87";  // "∞" in Shift-JIS
    Start(Device::Fast);
    const std::string bad = fixture::WriteTemp(
        fixture::Encode(fixture::Sine(3.0), {"TITLE=Bad", "LOOPSTART=100", "LOOP_START=200", "LOOPLENGTH=1000"}),
        "badtags.ogg");
    Add({MakeQv("mark.qv", 4, 1.0f, 2.0f, -1), bad});
    form3->LoopCount->setValue(-1);
    form1->PlayEntry(0);
    EXPECT_EQ(Caption(), "[1 1/" + inf + "] mark.qv");
    EXPECT_EQ(std::string(form1->TrayData.szTip), "[1 1/" + inf + "] mark.qv");
    EXPECT_EQ(TApplication::Title(), QStringLiteral("[1] mark.qv")) << "the window's name stays";
    // Scrolled a little, the title keeps its place when the pass changes.
    for (int i = 0; i < 3; ++i)
        form1->Timer2Timer();
    ASSERT_TRUE(WaitFor([&] {
        form1->Timer3Timer();
        return form1->OggStream.HeardPasses() >= 2;
    }, std::chrono::seconds(20)));
    const std::string counted = "[1 " + std::to_string(form1->LoopsDone + 1) + "/" + inf + "] mark.qv";
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTitle),
              CaptionText::ScrollCaption(CaptionText::ScrollCaption(CaptionText::ScrollCaption(CaptionText::PadCaption(counted)))));
    // A counted loop shows the pass of those it plays, the last fading.
    form3->LoopCount->setValue(5);
    form1->Timer3Timer();
    EXPECT_NE(std::string(form1->TrayData.szTip).find("/7] mark.qv"), std::string::npos) << form1->TrayData.szTip;

    form1->PlayEntry(1);
    const std::string note = DisplayText::LabelCaption(form1->LTitle);
    EXPECT_EQ(note.rfind("[2] Bad  (", 0), 0u) << note;
    EXPECT_NE(note.find("LOOP"), std::string::npos) << "the tags named: " << note;
    EXPECT_STREQ(form1->TrayData.szTip, "[2] Bad");
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_TRUE(messages.empty()) << "no box";
    // Once the title has scrolled through, the note is gone; it is not named again for the file.
    for (int i = 0; i < CaptionText::Characters(note); ++i)
        form1->Timer2Timer();
    EXPECT_EQ(Caption(), "[2] Bad");
    form1->PlayEntry(1);
    EXPECT_EQ(Caption(), "[2] Bad");
}

// The five-second buttons on a looped piece follow it as it is heard: forward across the loop's
// end lands inside the loop and counts the pass, back across the jump returns into the pass
// before it; only past the piece's start does the previous entry play.
TEST_F(PlaybackTest, FiveSecondStepsFollowTheLoop)
{
    Add({MakeQv("steps.qv", 8, 1.0f, 7.0f, -1), MakeOgg("other.ogg", 3, "Other")});
    form3->LoopCount->setValue(1);
    form1->PlayEntry(0);
    auto at = [&] { return form1->OggStream.GetOutputTime(); };
    ASSERT_TRUE(WaitFor([&] { return at() > 0.2f; }));  // heard: the steps go from the sound
    form1->bPlayClick(form1->bFast);
    EXPECT_GE(at(), 5.0f);
    EXPECT_LT(at(), 7.0f);
    form1->bPlayClick(form1->bFast);  // across the loop's end: back in the loop, a pass heard
    form1->Timer3Timer();
    EXPECT_GE(at(), 3.0f);
    EXPECT_LT(at(), 6.0f);
    EXPECT_EQ(form1->OggStream.HeardPasses(), 1);
    EXPECT_EQ(Caption(), "[1 2/3] steps.qv");
    form1->bPlayClick(form1->bRewind);  // back across the jump: the first pass again
    form1->Timer3Timer();
    EXPECT_GE(at(), 5.0f);
    EXPECT_LT(at(), 7.0f);
    EXPECT_EQ(form1->OggStream.HeardPasses(), 0);
    EXPECT_EQ(Caption(), "[1 1/3] steps.qv");
    form1->bPlayClick(form1->bRewind);
    EXPECT_EQ(Caption(), "[1 1/3] steps.qv");
    form1->bPlayClick(form1->bRewind);  // past the start
    EXPECT_EQ(Caption(), "[2] Other");
}

TEST_F(PlaybackTest, BadEntriesAreReportedByNameAndTheNextPlays)
{
    Add({MakeOgg("good.ogg", 1, "Good")});
    form2->Playlist->Add(MakeFile("bad.ogg", "this is not Ogg Vorbis"), "bad.ogg");
    form2->Playlist->Add(fixture::TempDir() + "/gone.ogg", "gone.ogg");
    form1->PlayEntry(1);
    // Both bad entries are named, stay in the list, and the good one plays; the program goes on.
    ASSERT_TRUE(apptest::WaitWithEvents([&] { return Caption() == "[1] Good"; }));
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], "再生失敗: bad.ogg\nファイルの読み込みに失敗");
    EXPECT_EQ(messages[1], "再生失敗: gone.ogg");
    EXPECT_EQ(Paths().size(), 3u);
    // A list of which nothing plays stops after one round.
    form2->Playlist->Delete(0);
    form1->PlayEntry(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.size(), 4u);
    // Its entry deleted, the piece heard keeps its name without a number.
    EXPECT_EQ(Caption(), "Good") << "the display keeps its texts";
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(300);
    EXPECT_EQ(QCoreApplication::exec(), 7) << "nothing else may end the program";
}

// A drop on the main window replaces the playlist and plays its first entry at once, as a start
// with names does (tests/e2e/intake.sh plays those); the drop alone counts the loading bar from 0
// and back to 0, and empties the list even when it brought nothing playable, while the music
// playing goes on. The desktop's drop event gives the local files in order, other URLs left out.
TEST_F(PlaybackTest, ADropReplacesTheListAndPlaysItsFirstEntry)
{
    Add({MakeOgg("old1.ogg", 10, "Old1"), MakeOgg("old2.ogg", 1, "Old2")});
    form1->PlayEntry(0);
    const std::string song = MakeOgg("song.ogg", 10, "Song"), other = MakeOgg("second.qv", 1);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(song)), QUrl(QStringLiteral("https://example.com/x.ogg")),
                  QUrl::fromLocalFile(QString::fromStdString(other))});
    EXPECT_TRUE(form1->acceptDrops());
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form1.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form1.get(), &drop);
    EXPECT_EQ(Paths(), (std::vector<std::string>{song, other}));
    EXPECT_EQ(form1->OggStream.GetFileName(), song);
    EXPECT_EQ(Caption(), "[1] Song");
    EXPECT_EQ(form2->Playlist->Selected(), 0);
    EXPECT_FALSE(form5->isVisible());
    EXPECT_EQ(form5->LoadingBar->value(), 0);

    // Nothing playable dropped: the list is emptied, the music goes on, the bad name is named once.
    const std::string opus = MakeFile("opus.ogg", std::string("OggS\0\2", 6) + std::string(20, '\0') + "OpusHead");
    form1->WMDropFiles({MakeFile("readme.txt", "text"), opus});
    EXPECT_EQ(form1->OggFileList->count(), 0);
    EXPECT_EQ(form2->ListBox1->count(), 0);
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_EQ(form1->OggStream.GetFileName(), song);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages, std::vector<std::string>{"読み込めないファイルを1個飛ばしました。\nopus.ogg"});

    // The command line: without names nothing changes; with names the bar counts from 1 and
    // stays at its end.
    form1->LoadCommandLine({});
    EXPECT_EQ(form1->OggFileList->count(), 0);
    EXPECT_EQ(form1->OggStream.GetFileName(), song);
    const std::string list = MakeFile("cmd.M3U", MakeOgg("in.ogg", 1) + "\n");
    form1->LoadCommandLine({MakeOgg("a.ogg", 1), list, "nothing.wav"});
    EXPECT_EQ(form1->OggFileList->count(), 2);
    EXPECT_EQ(form5->LoadingBar->maximum(), 3);
    EXPECT_EQ(form5->LoadingBar->value(), 3);
    EXPECT_FALSE(form5->isVisible());
}

// The playlist kept from one run to the next: a start without names takes back the list as it
// was shown, its current entry, and plays on only when it was playing at the end; a kept list
// that cannot be read is named once and nothing else changes.
TEST_F(PlaybackTest, AStartWithoutNamesTakesBackTheKeptPlaylist)
{
    const std::string dir = Paths::SettingsDir(form1->AppDir);
    const std::string one = MakeOgg("kept1.ogg", 10, "Kept One"), two = MakeOgg("kept2.ogg", 10, "Kept Two");
    struct Case {
        bool playing;
        bool plays;
    };
    for (const Case c : {Case{true, true}, Case{false, false}}) {
        form2->Playlist->Clear();
        Add({one, two});
        form1->PlayEntry(1);
        TKeptPlaylist::Store(dir, *form2->Playlist, c.playing);
        form1->OggStream.Stop();
        form2->Playlist->Clear();
        form1->LoadCommandLine({});
        EXPECT_EQ(Paths(), (std::vector<std::string>{one, two}));
        EXPECT_EQ(form2->Playlist->Name(0), "Kept One");  // as shown, without opening the file
        EXPECT_EQ(form2->Playlist->Current(), 1);
        EXPECT_EQ(form1->OggStream.IsPlaying(), c.plays);
        if (c.plays) {
            EXPECT_EQ(form1->OggStream.GetFileName(), two);
        }
    }
    EXPECT_TRUE(messages.empty());

    // A kept list the program cannot read (a folder in its place): one message, an empty list,
    // and the settings file left alone.
    form1->OggStream.Stop();
    form2->Playlist->Clear();
    std::filesystem::remove(dir + TKeptPlaylist::FileName);
    std::filesystem::create_directory(dir + TKeptPlaylist::FileName);
    form1->LoadCommandLine({});
    EXPECT_EQ(form2->Playlist->Count(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(TKeptPlaylist::FileName), std::string::npos) << messages[0];
    std::filesystem::remove(dir + TKeptPlaylist::FileName);
}
