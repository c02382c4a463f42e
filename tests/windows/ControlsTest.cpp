// The keyboard and mouse on the playlist, main and volume windows, and where the file dialogs
// start and what their filters say.
#include "AppTest.h"
#include "OggFixture.h"
#include "TPlaylist.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit4.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QKeyEvent>
#include <QListWidget>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>

using ControlsTest = apptest::AppTest;

namespace {

std::vector<std::string> AddSongs()
{
    static const std::vector<std::string> songs = {fixture::MakeOgg("keys0.ogg", 20.0), fixture::MakeOgg("keys1.ogg", 20.0),
                                                   fixture::MakeOgg("keys2.ogg", 20.0)};
    Form2->ChooseOggFiles = [] {
        QStringList names;
        for (const std::string& s : songs)
            names << QString::fromStdString(s);
        return names;
    };
    Form2->MLoadOggClick();
    return songs;
}

void Key(QObject* to, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, bool repeat = false)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(), repeat);
    QApplication::sendEvent(to, &press);
}

void Send(QWidget* to, QEvent&& e)
{
    QApplication::sendEvent(to, &e);
}

}

TEST_F(ControlsTest, PlaylistKeysAndCommandsActOnTheHighlightedEntry)
{
    const std::vector<std::string> songs = AddSongs();
    TPlaylist& pl = *Form2->Playlist;
    QWidget* view = Form2->ListBox1->viewport();
    const QPoint at = Form2->ListBox1->visualItemRect(Form2->ListBox1->item(1)).center();
    pl.Select(1);
    // Only the left button's double-click plays; Return and Enter play the highlighted entry.
    for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton})
        Send(view, QMouseEvent(QEvent::MouseButtonDblClick, at, view->mapToGlobal(at), b, b, Qt::NoModifier));
    EXPECT_FALSE(Form1->OggStream.IsPlaying());
    Key(Form2->ListBox1, Qt::Key_Return);
    EXPECT_EQ(Form1->OggStream.GetFileName(), songs[1]);
    pl.Select(2);
    Key(Form2->ListBox1, Qt::Key_Enter);
    EXPECT_EQ(Form1->OggStream.GetFileName(), songs[2]);
    pl.Select(1);
    Send(view, QMouseEvent(QEvent::MouseButtonDblClick, at, view->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                           Qt::NoModifier));
    EXPECT_EQ(Form1->OggStream.GetFileName(), songs[1]);

    // A Ctrl+click takes the highlight off and leaves the row current: nothing to act on.
    Form2->ListBox1->setCurrentRow(1, QItemSelectionModel::Deselect);
    ASSERT_EQ(Form2->ListBox1->currentRow(), 1);
    Key(Form2->ListBox1, Qt::Key_Delete);
    Form2->MDownClick();
    EXPECT_EQ(pl.Paths(), songs);
    // Delete removes the highlighted entry.
    pl.Select(0);
    Key(Form2->ListBox1, Qt::Key_Delete);
    EXPECT_EQ(pl.Paths(), (std::vector<std::string>{songs[1], songs[2]}));
}

TEST_F(ControlsTest, MainWindowKeysPauseAndSkipFiveSecondsLikeTheButtons)
{
    AddSongs();
    Form2->Playlist->Select(0);
    Key(Form2->ListBox1, Qt::Key_Return);
    ASSERT_TRUE(Form1->OggStream.IsPlaying());
    // The clock follows the sound being heard, which reaches the seek once what is already in
    // the two-second buffer has played: within three seconds it has moved by more than playing
    // alone could move it.
    const auto skipped = [](Qt::Key key, bool forward) {
        const float before = Form1->OggStream.GetOutputTime();
        Key(Form1, key);
        return apptest::WaitWithEvents(
            [&] {
                const float t = Form1->OggStream.GetOutputTime();
                return forward ? t >= before + 3.5f : t <= before - 1.5f;
            },
            std::chrono::seconds(3));
    };
    EXPECT_TRUE(skipped(Qt::Key_Right, true));
    EXPECT_TRUE(skipped(Qt::Key_Right, true));
    EXPECT_TRUE(skipped(Qt::Key_Left, false));

    Key(Form1, Qt::Key_Space);
    EXPECT_TRUE(Form1->OggStream.IsPaused());
    Key(Form1, Qt::Key_Space, Qt::NoModifier, true);  // a held key's repeat changes nothing
    EXPECT_TRUE(Form1->OggStream.IsPaused());
    Key(Form1, Qt::Key_Space);
    EXPECT_FALSE(Form1->OggStream.IsPaused());
    Key(Form1, Qt::Key_Space, Qt::ControlModifier);  // with Ctrl it is not the player's key
    EXPECT_FALSE(Form1->OggStream.IsPaused());
}

TEST_F(ControlsTest, VolumeBarTakesFocusAndStepsOneDecibel)
{
    QScrollBar* bar = Form4->VolumeBar;
    EXPECT_EQ(bar->focusPolicy() & Qt::TabFocus, Qt::TabFocus);
    bar->setValue(5000);
    Key(bar, Qt::Key_Left);
    EXPECT_EQ(bar->value(), 4900);
    Key(bar, Qt::Key_Right);
    Key(bar, Qt::Key_Right);
    EXPECT_EQ(Form1->OggStream.GetVolume(), -4900);
    // One notch up is one decibel louder; a fine wheel's eighths add up to notches.
    for (int delta : {120, -240, 60, 60})
        Send(bar, QWheelEvent(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                              Qt::NoScrollPhase, false));
    EXPECT_EQ(bar->value(), 5100);
}

TEST_F(ControlsTest, DialogsStartInTheMusicFolderThenWhereTheLastOneEnded)
{
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const QString first = !music.isEmpty() && QDir(music).exists() ? music : QDir::homePath();
    // Made when first used, not at start-up.
    EXPECT_EQ(Form2->findChild<QFileDialog*>(QStringLiteral("OggLoadDialog")), nullptr);
    EXPECT_EQ(Form1->findChild<QFileDialog*>(QStringLiteral("SkinLoadDialog")), nullptr);
    QFileDialog* ogg = Form2->OggLoadDialog;
    QFileDialog* list = Form2->ListLoadDialog;
    ASSERT_TRUE(ogg && list);
    EXPECT_EQ(Form2->findChild<QFileDialog*>(QStringLiteral("OggLoadDialog")), ogg);
    EXPECT_EQ(Form2->OggLoadDialog.get(), ogg);
    EXPECT_EQ(ogg->directory().absolutePath(), QDir(first).absolutePath());
    // The filter's caption as written, without the patterns repeated.
    if (auto* types = ogg->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        EXPECT_EQ(types->itemText(0), QStringLiteral("OggVorbisファイル(ogg/qv)"));
    }

    // A file chosen in one folder: the next dialog opens there.
    const QString folder = QString::fromStdString(fixture::FreshDir("dialogs"));
    QFile::copy(QString::fromStdString(fixture::MakeOgg("dialog.ogg", 0.3)), folder + "a.ogg");
    QTimer::singleShot(0, ogg, [ogg, folder] {
        ogg->setDirectory(folder);
        ogg->selectFile(QStringLiteral("a.ogg"));
        static_cast<QDialog*>(ogg)->accept();  // QFileDialog's own accept, reached through QDialog
    });
    Form2->MLoadOggClick();
    EXPECT_EQ(Form2->Playlist->Count(), 1);
    QString seen;
    QTimer::singleShot(0, list, [list, &seen] {
        seen = list->directory().absolutePath();
        list->reject();
    });
    Form2->MPlayListClick();
    EXPECT_EQ(seen, QDir(folder).absolutePath());
}
