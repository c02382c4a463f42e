// Files dropped on the main window and named on the command line: they replace the playlist,
// playlists among them are expanded in place, and the first entry plays.
#include "PlaybackFixture.h"

#include "OggFixture.h"
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

TEST_F(PlaybackTest, DropTakesTheFourSpellingsAndPlaylistsInTheirPlace)
{
    const std::string one = MakeOgg("one.ogg", 1), caps = MakeOgg("CAPS.OGG", 1), qv = MakeQv("loop.qv", 1, 0, 0, 0);
    const std::string x = MakeOgg("x.ogg", 1), y = MakeOgg("y.QV", 1);
    const std::string small = MakeFile("small.m3u", x + "\r\n#EXTINF:1,x\r\n" + y + "\n");
    const std::string big = MakeFile("BIG.M3U", y + "\n");
    const std::string mixed = MakeOgg("mixed.Ogg", 1), mixedQv = MakeOgg("mixed.Qv", 1);
    form1->WMDropFiles({one, small, mixed, caps, mixedQv, big, qv, MakeFile("notes.txt", "hello")});
    EXPECT_EQ(Paths(), (std::vector<std::string>{one, x, y, caps, y, qv}));
    EXPECT_EQ(form2->ListBox1->count(), 6);
    EXPECT_EQ(form1->OggStream.GetFileName(), one);
    EXPECT_EQ(form1->CurrentEntry(), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(PlaybackTest, DroppingOnlyOtherFilesEmptiesTheListButTheMusicGoesOn)
{
    Add({MakeOgg("playing.ogg", 10, "Playing")});
    form1->PlayEntry(0);
    form1->WMDropFiles({MakeFile("readme.txt", "text"), MakeOgg("mixed.oGG", 1)});
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

TEST_F(PlaybackTest, AnErrorStopsTheIntakeAtThatNameKeepingWhatCameBefore)
{
    Add({MakeOgg("before.ogg", 10, "Before")});
    form1->PlayEntry(0);
    const std::string a = MakeOgg("a.ogg", 1, "A");
    form1->WMDropFiles({a, MakeFile("broken.ogg", "not Ogg Vorbis at all"), MakeOgg("c.ogg", 1, "C")});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "ファイルの読み込みに失敗");
    EXPECT_EQ(Paths(), std::vector<std::string>{a});
    EXPECT_EQ(form2->ListBox1->count(), 1);
    EXPECT_FALSE(form5->isVisible());
    // The music that was playing goes on; nothing new was started.
    EXPECT_EQ(Caption(), "[1] Before");
    EXPECT_TRUE(form1->OggStream.IsPlaying());

    form1->LoadCommandLine({a, fixture::TempDir() + "/missing.m3u", MakeOgg("d.ogg", 1)});
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(Paths(), std::vector<std::string>{a});
    EXPECT_EQ(form2->ListBox1->count(), 1);
    EXPECT_FALSE(form5->isVisible());
}
