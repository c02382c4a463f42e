// What the main window's face costs when nothing changes or nobody looks: the time timer rests
// while the window cannot be seen and ticks at once when it can again; a caption already shown
// is not laid out again; a hidden file dialog does not watch its folders. Qt's offscreen platform.
#include "AppTest.h"
#include "DisplayText.h"
#include "OggFixture.h"
#include "TDialogWatch.h"
#include "TDirectCaption.h"
#include "TFaceDisplay.h"
#include "TLazyDialog.h"

#include <QBackingStore>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

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

// A textured face with a label in the time's font, over which captions are drawn.
QLabel* MakeFace(QWidget* parent)
{
    QImage face(200, 80, QImage::Format_RGB32);
    for (int y = 0; y < face.height(); ++y)
        for (int x = 0; x < face.width(); ++x)
            face.setPixel(x, y, qRgb((x * 7) % 256, (y * 13) % 256, (x * y) % 256));
    auto* image = new QLabel(parent);
    image->setPixmap(QPixmap::fromImage(face));
    image->setGeometry(0, 0, 200, 80);
    auto* label = new QLabel(parent);
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

// The time drawn straight into the window, pieced together from earlier drawings where it can
// be, must be what Qt draws for the same text: compared with a twin window that Qt draws.
TEST_F(FaceDisplay, TextDrawnStraightToTheWindowIsWhatQtDraws)
{
    window.move(300, 250);  // clear of the notification area at the top of the X screen
    QLabel* label = MakeFace(&window);
    QWidget twin;
    twin.resize(window.size());
    QLabel* twinLabel = MakeFace(&twin);
    apptest::WaitWithEvents([] { return false; }, std::chrono::milliseconds(50));

    const auto shown = [&] {
        QCoreApplication::processEvents();  // a change Qt draws is drawn by now
        const auto* store = static_cast<const QImage*>(window.backingStore()->paintDevice());
        return store->copy(label->geometry());
    };
    std::vector<std::string> times;
    for (int t = 50; t < 80; ++t)
        times.push_back("0:0" + std::to_string(t / 10) + "." + std::to_string(t % 10));
    // On an X display the drawing goes to the window itself: what the server shows is read back.
    const bool onX = QGuiApplication::platformName() == QStringLiteral("xcb");
    const auto onScreen = [&] {
        return window.screen()->grabWindow(window.winId(), label->x(), label->y(), label->width(), label->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    };
    const auto showBoth = [&](const std::string& t) {
        TFaceDisplay::SetCaption(label, t);
        TFaceDisplay::SetCaption(twinLabel, t);
        ASSERT_EQ(label->geometry(), twinLabel->geometry()) << t;
        const QImage drawn = twin.grab(twinLabel->geometry()).toImage();
        ASSERT_EQ(shown(), drawn.convertToFormat(shown().format())) << t;
        if (onX) {
            ASSERT_EQ(onScreen(), drawn.convertToFormat(QImage::Format_RGB32)) << t;
        }
        EXPECT_EQ(DisplayText::LabelCaption(label), t);
    };
    for (const std::string& t : times) {
        showBoth(t);
        // A change of the tenths alone sends little more than the digit (the first drawing after
        // the label was taken sends it whole).
        if (t.back() != '0' && t != times[1]) {
            EXPECT_LT(TDirectCaption::SentWidth(label), label->width() / 3) << t;
        }
    }
    EXPECT_GT(TDirectCaption::SplicedDraws(label), 8) << "the tenths are not pieced together";
    // Every character has been drawn at its place and checked once: the same seconds again,
    // including their changes of whole seconds, are pieced without Qt drawing anything.
    const int qtDraws = TDirectCaption::QtDraws(label);
    for (const std::string& t : times)
        showBoth(t);
    EXPECT_EQ(TDirectCaption::QtDraws(label), qtDraws);
    // The tenths were drawn ahead of the label's text; Qt painting the label sets it first.
    EXPECT_EQ(label->text(), QStringLiteral("0:07.0"));
    label->repaint();
    EXPECT_EQ(label->text(), QStringLiteral("0:07.9"));
    // Text set on the label directly wins over a caption drawn ahead of it, even at Qt's paint.
    TFaceDisplay::SetCaption(label, "0:07.8");
    EXPECT_EQ(DisplayText::LabelCaption(label), "0:07.8");
    label->setText(QStringLiteral("0:00.0"));
    EXPECT_EQ(DisplayText::LabelCaption(label), "0:00.0");
    label->repaint();
    EXPECT_EQ(label->text(), QStringLiteral("0:00.0"));
    TFaceDisplay::SetCaption(label, "0:07.9");
    ASSERT_EQ(shown(), twin.grab(twinLabel->geometry()).toImage().convertToFormat(shown().format()));
    for (const char* t : {"0:59.8", "0:59.9", "1:00.0", "1:00.1", "10:00.0", "10:00.1", "0:00.0"})
        showBoth(t);
    EXPECT_GT(TDirectCaption::DirectDraws(label), 60);

    // Qt paints the label itself (here for a new colour): the drawings are taken again.
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, QColor(255, 255, 0));
    label->setPalette(palette);
    twinLabel->setPalette(palette);
    apptest::WaitWithEvents([] { return false; }, std::chrono::milliseconds(50));
    for (const char* t : {"0:07.1", "0:07.2", "0:07.3"}) {
        TFaceDisplay::SetCaption(label, t);
        TFaceDisplay::SetCaption(twinLabel, t);
        ASSERT_EQ(shown(), twin.grab(twinLabel->geometry()).toImage().convertToFormat(shown().format())) << t;
    }
    // Hidden, it is left to Qt.
    const int direct = TDirectCaption::DirectDraws(label);
    window.hide();
    TFaceDisplay::SetCaption(label, "0:07.4");
    EXPECT_EQ(TDirectCaption::DirectDraws(label), direct);
    EXPECT_EQ(label->text(), QStringLiteral("0:07.4"));
}

// The scrolling title: each step's picture is kept, so the second time round Qt draws nothing.
TEST_F(FaceDisplay, LongTextScrolledRoundIsDrawnOnce)
{
    window.move(300, 250);
    QLabel* label = MakeFace(&window);
    QWidget twin;
    twin.resize(window.size());
    QLabel* twinLabel = MakeFace(&twin);
    apptest::WaitWithEvents([] { return false; }, std::chrono::milliseconds(50));
    const std::string title = "Sine 440 Hz  ";
    TFaceDisplay::SetCaption(label, title);
    TFaceDisplay::SetCaption(twinLabel, title);
    int firstRound = 0;
    for (size_t step = 0; step < 2 * title.size(); ++step) {
        if (step == title.size())
            firstRound = TDirectCaption::QtDraws(label);
        TFaceDisplay::ScrollCaption(label);
        TFaceDisplay::ScrollCaption(twinLabel);
        QCoreApplication::processEvents();
        const auto* store = static_cast<const QImage*>(window.backingStore()->paintDevice());
        const QImage shown = store->copy(label->geometry());
        ASSERT_EQ(shown, twin.grab(twinLabel->geometry()).toImage().convertToFormat(shown.format())) << step;
        ASSERT_EQ(label->text(), twinLabel->text());
    }
    EXPECT_GT(firstRound, 0);
    EXPECT_EQ(TDirectCaption::QtDraws(label), firstRound);
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
