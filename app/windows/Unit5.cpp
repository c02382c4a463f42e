#include "Unit5.h"

#include "TScreenPlace.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "ui_Unit5.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QShowEvent>
#include <QWindow>
#include <cstdint>

TForm5* Form5 = nullptr;

TForm5::TForm5(QWidget* parent) : QWidget(parent)
{
    Form5 = this;
    Ui::TForm5 ui;
    ui.setupUi(this);
    LoadingBar = ui.LoadingBar;
    LoadingBar2 = ui.LoadingBar2;
    // A dialog-style window without buttons on its title bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    FormCreate();
}

TForm5::~TForm5()
{
    if (Form5 == this)
        Form5 = nullptr;
}

void TForm5::FormCreate()
{
    // Created last of the five windows: the playlist window and this one exist now.
    if (Form1)
        Form1->LoadCommandLine();
}

void TForm5::FormShow()
{
    if (!Form1)
        return;
    // Under the main window's bottom-left corner, or on another side of it where that would
    // cover another of our windows (the playlist window opens below the main window too).
    using S = TWindowPlacer::TSide;
    TScreenPlace::PlaceBeside(this, {{Form1, S::Below}, {Form1, S::Above}, {Form1, S::Right}, {Form1, S::Left}},
                              {Form1, Form2, Form3, Form4});
}

void TForm5::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm5::SetMaximum(QProgressBar* bar, int maximum)
{
    // A range of 0 .. 0 would turn the bar into a busy indicator; an empty loop shows an
    // empty bar instead.
    bar->setRange(0, maximum > 0 ? maximum : 1);
}

void TForm5::ShowLoading()
{
    show();
    // Let the window be mapped and painted once; the loop that follows keeps the event loop
    // away, so from then on each step paints its bar itself.
    QElapsedTimer waited;
    waited.start();
    do {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    } while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 100);
}

namespace {
// How many pixels of the bar are filled: painting is worth it only when this changes, which
// keeps a list of thousands of names from spending its time drawing the same bar again.
int64_t FilledPixels(const QProgressBar* bar)
{
    const int64_t span = static_cast<int64_t>(bar->maximum()) - bar->minimum();
    if (span <= 0)
        return 0;
    return (static_cast<int64_t>(bar->value()) - bar->minimum()) * bar->width() / span;
}
}

void TForm5::Step(QProgressBar* bar, int position)
{
    const int64_t before = FilledPixels(bar);
    bar->setValue(position);
    if (bar->isVisible() && FilledPixels(bar) != before)
        bar->repaint();
}

void TForm5::HideLoading()
{
    hide();
}

TForm5::TShown::TShown(QProgressBar* TForm5::*bar, int maximum)
{
    if (!Form5)
        return;
    SetMaximum(Form5->*bar, maximum);
    Form5->ShowLoading();
}

TForm5::TShown::~TShown()
{
    if (Form5)
        Form5->HideLoading();
}

void TForm5::StepBar(QProgressBar* TForm5::*bar, int position)
{
    if (Form5)
        Step(Form5->*bar, position);
}
