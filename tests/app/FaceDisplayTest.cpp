// What the main window's face costs when nothing changes or nobody looks: the time timer rests
// while the window cannot be seen and ticks at once when it can again; a caption already shown
// is not laid out again; a hidden file dialog does not watch its folders. Qt's offscreen platform.
#include "AppTest.h"
#include "DisplayText.h"
#include "OggFixture.h"
#include "TDialogWatch.h"
#include "TFaceDisplay.h"
#include "TLazyDialog.h"
#include "TTimeFace.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QPaintEvent>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

class FaceDisplay : public ::testing::Test {
protected:
    static void SetUpTestSuite() { apptest::EnsureApplication(); }
    void SetUp() override
    {
        window.resize(200, 80);
        timer.setInterval(100);
        face = new TFaceDisplay(&window, &timer, [this] { ++ticks; });
        timer.start();
        window.show();
        ASSERT_TRUE(apptest::WaitWithEvents([&] { return face->FaceSeen(); }));
        ticks = 0;
    }

    QWidget window;
    QTimer timer;
    TFaceDisplay* face = nullptr;  // a child of the window
    int ticks = 0;
};

TEST_F(FaceDisplay, TimerRestsWhileUnseenAndTicksAtOnceWhenSeenAgain)
{
    // Hidden (as in the notification area), then minimised: no ticks, however long.
    window.hide();
    EXPECT_FALSE(face->FaceSeen());
    EXPECT_FALSE(timer.isActive());
    window.show();
    ASSERT_TRUE(apptest::WaitWithEvents([&] { return timer.isActive(); }));
    EXPECT_EQ(ticks, 1) << "the time shows at once, not a tick later";

    window.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(apptest::WaitWithEvents([&] { return !timer.isActive(); }));
    EXPECT_FALSE(face->FaceSeen());
    const int before = ticks;
    apptest::WaitWithEvents([] { return false; }, std::chrono::milliseconds(350));
    EXPECT_EQ(ticks, before);
    window.setWindowState(Qt::WindowNoState);
    ASSERT_TRUE(apptest::WaitWithEvents([&] { return timer.isActive(); }));
    EXPECT_EQ(ticks, before + 1);
}

TEST_F(FaceDisplay, TimerStoppedByItsOwnerStaysStopped)
{
    // The notification area stops the timer itself and starts it on the way back; being shown
    // again must not start it behind the owner's back.
    timer.stop();
    window.hide();
    window.show();
    apptest::WaitWithEvents([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(ticks, 0);
}

TEST_F(FaceDisplay, CaptionShownAlreadyIsNotLaidOutAgain)
{
    auto* label = new QLabel(&window);
    TFaceDisplay::SetCaption(label, "0:05.5");
    EXPECT_EQ(label->text(), QStringLiteral("0:05.5"));
    // The label sizes itself to a new text only: a size set since stays for the same text.
    label->resize(3, 3);
    TFaceDisplay::SetCaption(label, "0:05.5");
    EXPECT_EQ(label->size(), QSize(3, 3));
    TFaceDisplay::SetCaption(label, "0:05.6");
    EXPECT_NE(label->size(), QSize(3, 3));
    // Shift-JIS bytes are compared as bytes; a text set on the label directly counts as shown.
    const std::string title = "\x83\x65\x83\x58\x83\x67";  // "テスト"
    TFaceDisplay::SetCaption(label, title);
    EXPECT_EQ(label->text(), QStringLiteral("テスト"));
    EXPECT_EQ(DisplayText::LabelCaption(label), title);
    label->setText(QStringLiteral("1:00.0"));
    TFaceDisplay::SetCaption(label, title);
    EXPECT_EQ(label->text(), QStringLiteral("テスト"));
    // Scrolling moves a double-byte character whole; an empty caption stays empty.
    TFaceDisplay::ScrollCaption(label);
    EXPECT_EQ(label->text(), QStringLiteral("ストテ"));
    label->clear();
    TFaceDisplay::ScrollCaption(label);
    EXPECT_TRUE(label->text().isEmpty());
}

TEST_F(FaceDisplay, LabelIsSizedOnlyWhenItsTextWidthChanges)
{
    auto* label = new QLabel(&window);
    QFont font(QStringLiteral("MS UI Gothic"));
    font.setPixelSize(19);
    font.setBold(true);
    label->setFont(font);
    TFaceDisplay::SetCaption(label, "0:01.0");
    const QSize fitted = label->size();
    EXPECT_EQ(fitted, label->sizeHint());
    // The same characters in another order: the same width, no new layout.
    TFaceDisplay::SetCaption(label, "0:10.0");
    EXPECT_EQ(label->size(), fitted);
    // Longer: the label grows to hold it; much shorter: it shrinks to its text again.
    TFaceDisplay::SetCaption(label, "100:10.0");
    EXPECT_GE(label->width(), label->sizeHint().width());
    EXPECT_GT(label->width(), fitted.width());
    TFaceDisplay::SetCaption(label, "0");
    EXPECT_EQ(label->size(), label->sizeHint());
    EXPECT_EQ(label->height(), fitted.height());

    // A label a little wider than its text draws the text the same, and nothing beside it.
    TFaceDisplay::SetCaption(label, "0:10.0");
    label->adjustSize();
    auto draw = [&](int width) {
        label->resize(width, label->height());
        QImage image(fitted.width() + 8, fitted.height(), QImage::Format_RGB32);
        image.fill(QColor(30, 40, 50));
        label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        return image;
    };
    const int width = label->width();
    const QImage wider = draw(width + 4);
    EXPECT_EQ(wider, draw(width));
}

// A textured face with a label over it in the time's font and colour.
QLabel* MakeFace(QWidget* parent, QLabel* label)
{
    QImage face(200, 80, QImage::Format_RGB32);
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            face.setPixel(x, y, qRgb((x * 7) % 256, (y * 13) % 256, (x * y) % 256));
    auto* image = new QLabel(parent);
    image->setPixmap(QPixmap::fromImage(face));
    image->setGeometry(0, 0, 200, 80);
    label->setParent(parent);
    QFont font(QStringLiteral("MS UI Gothic"));
    font.setPixelSize(19);
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(120, 220, 255));
    label->setPalette(palette);
    label->move(11, 23);
    image->show();
    label->show();
    return label;
}

// The widest area a widget was asked to paint.
class PaintWidth : public QObject {
public:
    int Widest = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            Widest = std::max(Widest, static_cast<QPaintEvent*>(event)->region().boundingRect().width());
        return false;
    }
};

// The time face shows, pixel for pixel, what a plain label over the same face shows (a twin window
// that Qt draws), for times of every shape, in other colours and fonts, and for texts it leaves to
// the label; a change of the tenths alone repaints little more than the digit.
TEST_F(FaceDisplay, TimeFaceShowsWhatALabelShowsRepaintingOnlyChangedCharacters)
{
    window.move(300, 250);  // clear of the notification area at the top of the X screen
    QLabel* face = MakeFace(&window, new TTimeFace);
    QWidget twin;
    twin.resize(window.size());
    QLabel* label = MakeFace(&twin, new QLabel);
    PaintWidth painted;
    face->installEventFilter(&painted);
    apptest::WaitWithEvents([] { return false; }, std::chrono::milliseconds(50));
    const auto showBoth = [&](const std::string& t, bool tenthsOnly) {
        painted.Widest = 0;
        TFaceDisplay::SetCaption(face, t);
        TFaceDisplay::SetCaption(label, t);
        QCoreApplication::processEvents();
        ASSERT_EQ(face->geometry(), label->geometry()) << t;
        const auto* store = static_cast<const QImage*>(window.backingStore()->paintDevice());
        const QImage shown = store->copy(face->geometry());
        ASSERT_EQ(shown, twin.grab(label->geometry()).toImage().convertToFormat(shown.format())) << t;
        EXPECT_EQ(DisplayText::LabelCaption(face), t);
        if (tenthsOnly) {
            EXPECT_GT(painted.Widest, 0) << t;
            EXPECT_LT(painted.Widest, face->width() / 3) << t;
        }
    };
    // The first change after Qt painted the label takes the window under it once, a paint too.
    const std::vector<std::pair<std::string, bool>> steps = {
        {"0:05.0", false},  {"0:05.1", false},  {"0:05.2", true},   {"0:05.7", true},
        {"0:05.8", true},   {"0:05.9", true},   {"0:06.0", false},  {"0:09.9", false},
        {"0:10.0", false},  {"0:10.4", true},   {"9:59.9", false},  {"10:00.0", false},
        {"10:00.1", false}, {"10:00.2", true},  {"100:00.0", false}, {"\x83\x65\x83\x58\x83\x67", false},
        {"0:00.0", false},  {"1:11.1", false},  {"1:11.7", true}};
    for (const auto& [t, tenthsOnly] : steps)
        showBoth(t, tenthsOnly);
    // Another colour (black too, the see-through one), then another font: drawn anew.
    for (const QColor colour : {QColor(255, 255, 0), QColor(0, 0, 0)}) {
        QPalette palette = face->palette();
        palette.setColor(QPalette::WindowText, colour);
        face->setPalette(palette);
        label->setPalette(palette);
        for (const char* t : {"0:07.1", "0:07.2", "0:08.3"})
            showBoth(t, false);
    }
    // A new face under the label, as a new skin brings: what lies under it is taken anew.
    QImage plain(200, 80, QImage::Format_RGB32);
    plain.fill(QColor(40, 90, 60));
    for (QWidget* w : {&window, &twin})
        for (QLabel* image : w->findChildren<QLabel*>())
            if (!image->pixmap().isNull())
                image->setPixmap(QPixmap::fromImage(plain));
    for (const char* t : {"0:08.4", "0:08.5"})
        showBoth(t, false);
    QFont font = face->font();
    font.setPixelSize(13);
    face->setFont(font);
    label->setFont(font);
    for (const char* t : {"0:03.5", "0:03.6", "0:33.3"})
        showBoth(t, false);
    // Hidden, the text still follows; shown again, it is what it says.
    window.hide();
    TFaceDisplay::SetCaption(face, "0:07.4");
    EXPECT_EQ(face->text(), QStringLiteral("0:07.4"));
    window.show();
    apptest::WaitWithEvents([] { return false; }, std::chrono::milliseconds(50));
    showBoth("0:07.4", false);
}

TEST(DialogWatch, FoldersAreWatchedOnlyWhileTheDialogIsOpen)
{
    apptest::EnsureApplication();
    const std::string dir = fixture::FreshDir("dialog-watch");
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setDirectory(QString::fromStdString(dir));
    TDialogWatch::WhileShown(nullptr);  // no dialog, no harm
    TDialogWatch::WhileShown(&dialog);
    TDialogWatch::WhileShown(&dialog);  // a second call adds nothing
    EXPECT_EQ(dialog.findChildren<TDialogWatch*>().size(), 1);
    EXPECT_FALSE(TDialogWatch::Watching(&dialog));
    dialog.show();
    EXPECT_TRUE(TDialogWatch::Watching(&dialog));
    dialog.hide();
    EXPECT_FALSE(TDialogWatch::Watching(&dialog));
}

// A dialog is made once, on first use, as a child of its window; made again only if it is gone.
TEST(LazyDialog, MadeOnFirstUseKeptAndMadeAgainOnlyWhenGone)
{
    apptest::EnsureApplication();
    QWidget window;
    int made = 0;
    TLazyDialog dialog;
    EXPECT_EQ(dialog.get(), nullptr);  // nothing to make it with yet
    dialog.MadeBy([&] {
        ++made;
        return new QFileDialog(&window);
    });
    EXPECT_EQ(made, 0);
    QFileDialog* first = dialog;
    dialog->setWindowTitle(QStringLiteral("first"));
    EXPECT_EQ(dialog.get(), first);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(first->parent(), &window);
    delete first;
    EXPECT_NE(dialog.get(), nullptr);
    EXPECT_EQ(made, 2);
    EXPECT_NE(dialog->windowTitle(), QStringLiteral("first"));
}

}
