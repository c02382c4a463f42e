#include "Unit4.h"

#include "Unit1.h"
#include "ui_Unit4.h"

#include <QLabel>
#include <QScrollBar>
#include <QWheelEvent>

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : TSideWindow(parent, &TPlayerSettings::VolumeWindowShown)
{
    const auto ui = SetUpNamed<Ui::TForm4>(Form4);
    VolumeBar = ui.VolumeBar;
    Label1 = ui.Label1;
    MakeToolWindow(12);
    connect(VolumeBar, &QScrollBar::valueChanged, this, [this] { VolumeBarChange(); });
    VolumeBar->installEventFilter(this);
    FormCreate();
}

void TForm4::PlaceAndRestore()
{
    MoveBesideMain();
    // A stored level outside 0 .. 10000 stops at the nearer end of the bar.
    VolumeBar->setValue(Form1->Settings.VolumeLevel);
    Form1->OggStream.SetVolume(VolumeBar->value() - 10000);
}

void TForm4::VolumeBarChange()
{
    const int position = VolumeBar->value();
    Form1->Settings.VolumeLevel = position;
    Label1->setText(QString::number(position));
    Form1->OggStream.SetVolume(position - 10000);
}

void TForm4::StoreAtQuit()
{
    if (IsOpen())
        Form1->Settings.VolumeLevel = VolumeBar->value();
}

bool TForm4::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != VolumeBar || event->type() != QEvent::Wheel)
        return TSideWindow<QWidget>::eventFilter(watched, event);
    TurnWheel(static_cast<QWheelEvent*>(event)->angleDelta());
    return true;
}

void TForm4::TurnWheel(const QPoint& delta)
{
    // The toolkit's wheel moves a scroll bar by several steps a notch; here one notch is one step
    // (a decibel) as for the arrow keys, and turning the wheel up raises the volume. A fine wheel
    // adds up its eighths of a degree until a whole notch is reached.
    wheelDelta_ += delta.y() != 0 ? delta.y() : delta.x();
    const int notches = wheelDelta_ / 120;
    wheelDelta_ -= notches * 120;
    StepVolume(notches);
}

void TForm4::StepVolume(int steps)
{
    if (steps != 0)
        VolumeBar->setValue(VolumeBar->value() + steps * VolumeBar->singleStep());
}
