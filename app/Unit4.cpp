#include "Unit4.h"

#include "Unit1.h"
#include "ui_Unit4.h"

#include <QLabel>
#include <QScrollBar>

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : TSideWindow(parent, &TPlayerSettings::VolumeWindowShown)
{
    NameGlobally(Form4);
    Ui::TForm4 ui;
    ui.setupUi(this);
    VolumeBar = ui.VolumeBar;
    Label1 = ui.Label1;
    MakeToolWindow(12);
    connect(VolumeBar, &QScrollBar::valueChanged, this, [this] { VolumeBarChange(); });
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
