// What a new user reaches for on the main window: the menu's open commands, the list's mark of
// the piece heard and the title's number following it, Clear, the keys and the wheel.
#include "PlaybackFixture.h"

#include "DisplayText.h"
#include "SjisConv.h"
#include "TPlaylist.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit4.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

using namespace playback_test;

namespace {
QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}
}

TEST_F(PlaybackTest, TheMenuOpensFilesAndFoldersAsAStartDoes)
{
    const QList<QAction*> items = form1->PopupMenu1->actions();
    ASSERT_GE(items.size(), 3);
    EXPECT_EQ(items[0]->text(), "ファイルを開く…");
    EXPECT_EQ(items[1]->text(), "フォルダを開く…");
    const std::string a = MakeOgg("a.ogg", 10, "A"), b = MakeOgg("b.ogg", 10, "B");
    Add({a});
    form1->PlayEntry(0);
    form1->ChooseFilesToOpen = [] { return QStringList(); };
    form1->MOpenFiles->trigger();
    EXPECT_EQ(Paths(), std::vector<std::string>{a}) << "cancelled";
    form1->ChooseFilesToOpen = [&] { return QStringList{Q(b)}; };
    form1->MOpenFiles->trigger();
    EXPECT_EQ(Paths(), (std::vector<std::string>{a, b}));
    EXPECT_EQ(form1->OggStream.GetFileName(), b);
    EXPECT_EQ(Caption(), "[2] B");

    form1->ChooseFolderToOpen = [&] { return QStringList{Q(fixture::TempDir())}; };
    form1->MOpenFolder->trigger();
    EXPECT_GT(Paths().size(), 2u) << "the folder's pieces added";
    EXPECT_EQ(form1->OggStream.GetFileName(), Paths()[2]);
}

TEST_F(PlaybackTest, TheListMarksThePieceHeardAndTheTitleFollowsItUntilClear)
{
    Add({MakeOgg("a.ogg", 10, "A"), MakeOgg("b.ogg", 10, "B"), MakeOgg("c.ogg", 10, "C"), MakeOgg("d.ogg", 10, "D")});
    form1->PlayEntry(1);
    const auto bold = [&] {
        std::vector<int> rows;
        for (int i = 0; i < form2->ListBox1->count(); ++i)
            if (form2->ListBox1->item(i)->font().bold())
                rows.push_back(i);
        return rows;
    };
    EXPECT_EQ(bold(), std::vector<int>{1});
    struct Step {
        int row;
        void (TForm2::*command)();
        std::string caption;
        int current;
    };
    // Another entry moved past it, the piece itself moved, an entry before it deleted: the mark
    // and the number go with the piece, which stays the current entry (Next goes on from it).
    for (const Step& s : {Step{3, &TForm2::MUpClick, "[2] B", 1}, Step{1, &TForm2::MDownClick, "[3] B", 2},
                          Step{0, &TForm2::MDeleteClick, "[2] B", 1}}) {
        form2->Playlist->Highlight({s.row});
        (form2.get()->*s.command)();
        QCoreApplication::processEvents();
        EXPECT_EQ(Caption(), s.caption);
        EXPECT_EQ(bold(), std::vector<int>{s.current});
        EXPECT_EQ(form2->Playlist->Current(), s.current);
        EXPECT_EQ(form1->windowTitle(), SjisToQString(s.caption));
    }
    form1->Timer1Timer();
    form2->C1Click();
    QCoreApplication::processEvents();
    form1->Timer1Timer();  // the stopped stream's time is not shown again
    EXPECT_EQ(Caption(), Utf8ToSjis(TForm1::EmptyTitle));
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTime), "0:00.0");
    EXPECT_EQ(DisplayText::LabelCaption(form1->LTotalTime), "0:00.0");
    EXPECT_EQ(std::string(form1->TrayData.szTip), "Ostra Ogg Player");
    EXPECT_EQ(form1->windowTitle(), "OstraDivUvirar");
}

TEST_F(PlaybackTest, KeysAndTheWheelOverTheFace)
{
    const std::string a = MakeOgg("a.ogg", 10, "A"), b = MakeOgg("b.ogg", 10, "B"), c = MakeOgg("c.ogg", 10, "C");
    Add({a, b, c});
    form1->PlayEntry(0);
    const auto press = [&](int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QCoreApplication::sendEvent(form1.get(), &e);
    };
    struct Key {
        int key;
        std::string plays;
    };
    for (const Key& k : {Key{Qt::Key_N, b}, Key{Qt::Key_PageDown, c}, Key{Qt::Key_B, b}, Key{Qt::Key_PageUp, a}}) {
        press(k.key);
        EXPECT_EQ(form1->OggStream.GetFileName(), k.plays) << k.key;
    }
    QScrollBar* bar = form4->VolumeBar;
    bar->setValue(5000);
    const auto wheel = [&](int angle) {
        QWheelEvent e(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(form1.get(), &e);
    };
    // A key or a wheel notch is one step of the volume window's bar; half notches add up.
    press(Qt::Key_Up), press(Qt::Key_Plus), press(Qt::Key_Down), press(Qt::Key_Minus), press(Qt::Key_Minus);
    EXPECT_EQ(bar->value(), 4900);
    wheel(120), wheel(60);
    EXPECT_EQ(bar->value(), 5000);
    wheel(60);
    EXPECT_EQ(bar->value(), 5100);
    EXPECT_EQ(form1->OggStream.GetVolume(), -4900);
    EXPECT_EQ(form1->Settings.VolumeLevel, 5100);
    press(Qt::Key_Q);  // without Ctrl nothing
    press(Qt::Key_Q, Qt::ControlModifier);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(7); });
    guard.start(2000);
    EXPECT_EQ(QCoreApplication::exec(), 0) << "Ctrl+Q ends the program";
}
