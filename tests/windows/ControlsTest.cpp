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
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTimer>
#include <QWheelEvent>

using ControlsTest = apptest::AppTest;

namespace {

const std::vector<std::string>& Songs()
{
    static const std::vector<std::string> songs = {fixture::MakeOgg("keys0.ogg", 20.0, "Zero"),
                                                   fixture::MakeOgg("keys1.ogg", 20.0, "One"),
                                                   fixture::MakeOgg("keys2.ogg", 20.0, "Two")};
    return songs;
}

void AddSongs()
{
    Form2->ChooseOggFiles = [] {
        QStringList names;
        for (const std::string& s : Songs())
            names << QString::fromStdString(s);
        return names;
    };
    Form2->MLoadOggClick();
}

void Key(QObject* to, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(to, &press);
}

void DoubleClick(Qt::MouseButton button, int row)
{
    QWidget* viewport = Form2->ListBox1->viewport();
    const QPoint at = Form2->ListBox1->visualItemRect(Form2->ListBox1->item(row)).center();
    QMouseEvent e(QEvent::MouseButtonDblClick, at, viewport->mapToGlobal(at), button, button, Qt::NoModifier);
    QApplication::sendEvent(viewport, &e);
}

void Wheel(QWidget* to, int delta)
{
    QWheelEvent e(QPointF(5, 5), QPointF(to->mapToGlobal(QPoint(5, 5))), QPoint(), QPoint(0, delta), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(to, &e);
}

}

TEST_F(ControlsTest, PlaylistKeysAndButtonsActOnTheHighlightedEntry)
{
    AddSongs();
    TPlaylist& pl = *Form2->Playlist;
    ASSERT_EQ(pl.Count(), 3);

    // A right or middle double-click plays nothing; Return and Enter play the highlighted entry.
    pl.Select(1);
    DoubleClick(Qt::RightButton, 1);
    DoubleClick(Qt::MiddleButton, 1);
    EXPECT_FALSE(Form1->OggStream.IsPlaying());
    Key(Form2->ListBox1, Qt::Key_Return);
    EXPECT_TRUE(Form1->OggStream.IsPlaying());
    EXPECT_EQ(Form1->OggStream.GetFileName(), Songs()[1]);
    pl.Select(2);
    Key(Form2->ListBox1, Qt::Key_Enter);
    EXPECT_EQ(Form1->OggStream.GetFileName(), Songs()[2]);
    pl.Select(0);
    DoubleClick(Qt::LeftButton, 0);
    EXPECT_EQ(Form1->OggStream.GetFileName(), Songs()[0]);

    // A Ctrl+click takes the highlight off and leaves the row current: the commands then have
    // nothing to act on.
    pl.Select(1);
    Form2->ListBox1->setCurrentRow(1, QItemSelectionModel::Deselect);
    ASSERT_EQ(Form2->ListBox1->currentRow(), 1);
    EXPECT_EQ(pl.Selected(), -1);
    Key(Form2->ListBox1, Qt::Key_Delete);
    Form2->MDownClick();
    EXPECT_EQ(pl.Paths(), Songs());

    // Delete removes the highlighted entry.
    Form2->ListBox1->setCurrentRow(1);
    Key(Form2->ListBox1, Qt::Key_Delete);
    EXPECT_EQ(pl.Paths(), (std::vector<std::string>{Songs()[0], Songs()[2]}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ControlsTest, MainWindowKeysPauseAndSkipFiveSecondsLikeTheButtons)
{
    AddSongs();
    Form2->Playlist->Select(0);
    Key(Form2->ListBox1, Qt::Key_Return);
    ASSERT_TRUE(Form1->OggStream.IsPlaying());

    // The clock follows the sound being heard, a moment behind the seek.
    const auto heard = [](float from, float to) {
        return apptest::WaitWithEvents([&] {
            const float t = Form1->OggStream.GetOutputTime();
            return t >= from && t < to;
        });
    };
    Key(Form1, Qt::Key_Right);
    EXPECT_TRUE(heard(4.5f, 8.0f));
    Key(Form1, Qt::Key_Right);
    EXPECT_TRUE(heard(9.5f, 13.0f));
    Key(Form1, Qt::Key_Left);
    EXPECT_TRUE(heard(4.5f, 9.0f));

    Key(Form1, Qt::Key_Space);
    EXPECT_TRUE(Form1->OggStream.IsPaused());
    // A held key's repeats do not turn the pause back and forth.
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(Form1, &repeat);
    EXPECT_TRUE(Form1->OggStream.IsPaused());
    Key(Form1, Qt::Key_Space);
    EXPECT_FALSE(Form1->OggStream.IsPaused());
    // With Ctrl held the keys are not the player's.
    Key(Form1, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_FALSE(Form1->OggStream.IsPaused());
    EXPECT_EQ(Form1->OggStream.GetFileName(), Songs()[0]);
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
    EXPECT_EQ(bar->value(), 5100);
    EXPECT_EQ(Form1->OggStream.GetVolume(), -4900);
    // One notch up is one decibel louder; a fine wheel's eighths add up to notches.
    Wheel(bar, 120);
    EXPECT_EQ(bar->value(), 5200);
    Wheel(bar, -240);
    EXPECT_EQ(bar->value(), 5000);
    Wheel(bar, 60);
    EXPECT_EQ(bar->value(), 5000);
    Wheel(bar, 60);
    EXPECT_EQ(bar->value(), 5100);
    bar->setValue(10000);
    Wheel(bar, 120);
    EXPECT_EQ(bar->value(), 10000);
}

TEST_F(ControlsTest, DialogsStartInTheMusicFolderThenWhereTheLastOneEnded)
{
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    const QString first = !music.isEmpty() && QDir(music).exists() ? music : QDir::homePath();
    auto* ogg = Form2->findChild<QFileDialog*>(QStringLiteral("OggLoadDialog"));
    auto* list = Form2->findChild<QFileDialog*>(QStringLiteral("ListLoadDialog"));
    ASSERT_NE(ogg, nullptr);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(QDir(ogg->directory()).absolutePath(), QDir(first).absolutePath());

    // The filter's caption as written, without the patterns repeated.
    EXPECT_TRUE(ogg->testOption(QFileDialog::HideNameFilterDetails));
    if (auto* types = ogg->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
        EXPECT_EQ(types->itemText(0), QStringLiteral("OggVorbisファイル(ogg/qv)"));
    }

    // A file chosen in one folder: the next dialog opens there.
    const QString folder = QString::fromStdString(fixture::FreshDir("dialogs"));
    const QString song = folder + "a.ogg";
    QFile::copy(QString::fromStdString(Songs()[0]), song);
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
