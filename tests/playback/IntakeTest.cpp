// Files dropped on the main window, named on the command line or handed over by a second start:
// playlists and folders among them are expanded in place, bad files passed over and reported
// once; a drop and the command line replace the playlist and play the first entry, a hand-over
// appends and plays the first entry it brought.
#include "PlaybackFixture.h"

#include "OggFixture.h"
#include "Paths.h"
#include "TFileIntake.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit5.h"

#include <QAction>
#include <QCoreApplication>
#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QUrl>
#include <filesystem>

using namespace playback_test;

TEST_F(PlaybackTest, OneDroppedFileReplacesTheListAndPlaysAtOnce)
{
    Add({MakeOgg("old1.ogg", 1, "Old1"), MakeOgg("old2.ogg", 1, "Old2")});
    const std::string song = MakeOgg("song.ogg", 3, "Song");
    form1->WMDropFiles({song});
    EXPECT_EQ(Paths(), std::vector<std::string>{song});
    EXPECT_EQ(form2->Playlist->Name(0), "Song");
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_EQ(form1->OggStream.GetFileName(), song);
    EXPECT_EQ(Caption(), "[1] Song");
    EXPECT_EQ(form2->Playlist->Selected(), 0);
    EXPECT_FALSE(form5->isVisible());
    EXPECT_EQ(form5->LoadingBar->value(), 0);
    // With fast loading the file name stands for the title.
    form1->S3->trigger();
    form1->WMDropFiles({song});
    EXPECT_EQ(form2->Playlist->Name(0), "song.ogg");
}

TEST_F(PlaybackTest, DropTakesEverySpellingAndPlaylistsInTheirPlace)
{
    const std::string one = MakeOgg("one.ogg", 1), caps = MakeOgg("CAPS.OGG", 1), qv = MakeQv("loop.qv", 1, 0, 0, 0);
    const std::string x = MakeOgg("x.ogg", 1), y = MakeOgg("y.QV", 1);
    const std::string small = MakeFile("small.m3u", x + "\r\n#EXTINF:1,x\r\n" + y + "\n");
    const std::string big = MakeFile("BIG.M3U", y + "\n");
    const std::string mixed = MakeOgg("mixed.Ogg", 1), mixedQv = MakeOgg("mixed.Qv", 1);
    form1->WMDropFiles({one, small, mixed, caps, mixedQv, big, qv, MakeFile("notes.txt", "hello")});
    EXPECT_EQ(Paths(), (std::vector<std::string>{one, x, y, mixed, caps, mixedQv, y, qv}));
    EXPECT_EQ(form2->ListBox1->count(), 8);
    EXPECT_EQ(form1->OggStream.GetFileName(), one);
    EXPECT_EQ(form1->CurrentEntry(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(PlaybackTest, DroppingOnlyOtherFilesEmptiesTheListButTheMusicGoesOn)
{
    Add({MakeOgg("playing.ogg", 10, "Playing")});
    form1->PlayEntry(0);
    form1->WMDropFiles({MakeFile("readme.txt", "text"), MakeOgg("other.oga", 1)});
    EXPECT_EQ(form1->OggFileList->count(), 0);
    EXPECT_EQ(form2->ListBox1->count(), 0);
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_EQ(form1->CurrentExt, ".ogg");
}

TEST_F(PlaybackTest, DropEventDeliversLocalFilesInOrder)
{
    const std::string a = MakeOgg("first.ogg", 1), b = MakeOgg("second.qv", 1);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(a)), QUrl(QStringLiteral("https://example.com/x.ogg")),
                  QUrl::fromLocalFile(QString::fromStdString(b))});
    EXPECT_TRUE(form1->acceptDrops());
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form1.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form1.get(), &drop);
    EXPECT_EQ(Paths(), (std::vector<std::string>{a, b}));
    EXPECT_TRUE(form1->OggStream.IsPlaying());
}

TEST_F(PlaybackTest, CommandLineTakesItsParametersAndPlaysTheFirst)
{
    // No parameters: nothing changes.
    form1->LoadCommandLine({});
    EXPECT_EQ(form1->OggFileList->count(), 0);
    EXPECT_FALSE(form1->OggStream.IsPlaying());
    // The program's own parameters here are none either.
    form1->LoadCommandLine();
    EXPECT_EQ(form1->OggFileList->count(), 0);

    const std::string qv = MakeQv("start.qv", 3, 1.0f, 2.0f, 1);
    form1->LoadCommandLine({qv});
    EXPECT_EQ(Paths(), std::vector<std::string>{qv});
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_EQ(form1->CurrentExt, ".qv");
    EXPECT_EQ(Caption(), "[1] start.qv");
    // The bar counted the parameters from 1 and keeps its place; the window is gone.
    const std::string list = MakeFile("cmd.M3U", MakeOgg("in.ogg", 1) + "\n");
    form1->LoadCommandLine({MakeOgg("a.ogg", 1), list, "nothing.wav"});
    EXPECT_EQ(form1->OggFileList->count(), 2);
    EXPECT_EQ(form5->LoadingBar->maximum(), 3);
    EXPECT_EQ(form5->LoadingBar->value(), 3);
    EXPECT_FALSE(form5->isVisible());
}

TEST_F(PlaybackTest, ABadFileAmongManyIsPassedOverAndReportedOnceAtTheEnd)
{
    const std::string a = MakeOgg("a.ogg", 1, "A"), b = MakeOgg("b.ogg", 1, "B"), c = MakeOgg("c.ogg", 1, "C");
    const std::string d = MakeOgg("d.ogg", 1, "D");
    // Opus in an Ogg file named ".ogg": a real page header, then nothing Vorbis can read.
    const std::string opus = MakeFile("opus.ogg", std::string("OggS\0\2", 6) + std::string(20, '\0') + "OpusHead");
    form1->LoadCommandLine({a, b, opus, c, d});
    EXPECT_EQ(Paths(), (std::vector<std::string>{a, b, c, d}));
    EXPECT_EQ(form2->ListBox1->count(), 4);
    EXPECT_EQ(Caption(), "[1] A");
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_FALSE(form5->isVisible());
    // The message comes once the event loop runs, after the first entry has started.
    EXPECT_TRUE(messages.empty());
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "読み込めないファイルを1個飛ばしました。\nopus.ogg");

    // A drop whose every name is bad or unreadable empties the list, plays nothing new and
    // names them all in one message; the music that was playing goes on.
    messages.clear();
    const std::string list = MakeFile("with-bad.m3u", opus + "\r\n" + opus + "\r\n");
    form1->WMDropFiles({opus, fixture::TempDir() + "/missing.m3u", list});
    EXPECT_EQ(form1->OggFileList->count(), 0);
    EXPECT_EQ(form2->ListBox1->count(), 0);
    EXPECT_TRUE(form1->OggStream.IsPlaying());
    EXPECT_EQ(form5->LoadingBar->value(), 0);
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "読み込めないファイルを4個飛ばしました。\nopus.ogg\nmissing.m3u\nopus.ogg\nほか1個");
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(PlaybackTest, AFolderAddsItsFilesInNaturalOrderAndTheFirstPlays)
{
    namespace fs = std::filesystem;
    const std::string dir = fixture::FreshDir("cmd-folder");
    fs::create_directories(dir + "album/disc 1");
    fs::copy_file(MakeOgg("n10.ogg", 1, "Ten"), dir + "album/10 ten.ogg");
    fs::copy_file(MakeOgg("n2.ogg", 1, "Two"), dir + "album/2 two.ogg");
    fs::copy_file(MakeOgg("n1.ogg", 1, "Inner"), dir + "album/disc 1/1.ogg");
    fs::copy_file(MakeFile("cmd-folder-notes.txt", "x"), dir + "album/notes.txt");
    const std::string single = MakeOgg("single.ogg", 1, "Single");

    // Named relative to the current directory, as a user types it: taken in absolute.
    const std::string cwd = ::Paths::GetCurrentDir();
    ASSERT_TRUE(::Paths::SetCurrentDir(dir));
    form1->LoadCommandLine({"album/", "./album/../../single.ogg"});
    ::Paths::SetCurrentDir(cwd);
    EXPECT_EQ(Paths(), (std::vector<std::string>{dir + "album/2 two.ogg", dir + "album/10 ten.ogg",
                                                 dir + "album/disc 1/1.ogg", single}));
    EXPECT_EQ(Caption(), "[1] Two");
    // The bar counted the files found, as for so many names given one by one.
    EXPECT_EQ(form5->LoadingBar->maximum(), 4);
    EXPECT_EQ(form5->LoadingBar->value(), 4);
    QCoreApplication::processEvents();
    EXPECT_TRUE(messages.empty());
}

TEST_F(PlaybackTest, HandedOverNamesAreAppendedAndTheFirstOfThemPlays)
{
    Add({MakeOgg("kept1.ogg", 10, "Kept1"), MakeOgg("kept2.ogg", 10, "Kept2")});
    form1->PlayEntry(0);
    EXPECT_FALSE(form2->Intake->HandOver({}));
    EXPECT_EQ(form1->OggFileList->count(), 2);
    EXPECT_EQ(Caption(), "[1] Kept1");

    const std::string bad = MakeFile("handed-bad.ogg", "not Vorbis");
    const std::string x = MakeOgg("handed.ogg", 3, "Handed"), y = MakeOgg("handed2.ogg", 1, "Handed2");
    const std::string list = MakeFile("handed.M3U8", y + "\n");
    EXPECT_TRUE(form2->Intake->HandOver({bad, x, list}));
    EXPECT_EQ(form1->OggFileList->count(), 4);
    EXPECT_EQ(form2->Playlist->Path(2), x);
    EXPECT_EQ(form2->Playlist->Path(3), y);
    EXPECT_EQ(Caption(), "[3] Handed");
    EXPECT_EQ(form1->OggStream.GetFileName(), x);
    EXPECT_EQ(form1->CurrentEntry(), 2);
    EXPECT_EQ(form2->Playlist->Selected(), 2);
    EXPECT_FALSE(form5->isVisible());
    QCoreApplication::processEvents();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "読み込めないファイルを1個飛ばしました。\nhanded-bad.ogg");

    // Nothing playable handed over: the list and the song stay as they were.
    messages.clear();
    EXPECT_FALSE(form2->Intake->HandOver({bad, MakeFile("handed.txt", "x")}));
    EXPECT_EQ(form1->OggFileList->count(), 4);
    EXPECT_EQ(form1->OggStream.GetFileName(), x);
    QCoreApplication::processEvents();
    EXPECT_EQ(messages.size(), 1u);
}
