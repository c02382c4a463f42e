#include "Unit3.h"

#include "Unit1.h"
#include "ui_Unit3.h"

#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <cstdint>

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent) : TSideWindow(parent, &TPlayerSettings::LoopWindowShown)
{
    const auto ui = SetUpNamed<Ui::TForm3>(Form3);
    Label1 = ui.Label1;
    LoopCount = ui.LoopCount;
    Edit1 = LoopCount->findChild<QLineEdit*>();
    if (Edit1)
        Edit1->setObjectName(QStringLiteral("Edit1"));

    MakeToolWindow();
    QFont label = Label1->font();
    label.setPixelSize(13);
    Label1->setFont(label);
    // The number sits flat on the window's face colour, 21 pixels high.
    QFont number(QStringLiteral("ＭＳ Ｐゴシック"));
    number.setPixelSize(21);
    LoopCount->setFont(number);
    LoopCount->setAutoFillBackground(false);
    QPalette flat = LoopCount->palette();
    flat.setColor(QPalette::Base, palette().color(QPalette::Window));
    LoopCount->setPalette(flat);

    FormCreate();
}

void TForm3::PlaceAndRestore()
{
    MoveBesideMain();
    // The stored count is read back as its low 16 bits, signed; the up-down keeps it within
    // -1 .. 99 (a value from elsewhere outside that range stops at the nearer end).
    LoopCount->setValue(Form1->Settings.LoopTimes16());
}

void TForm3::FormClose()
{
    const int position = LoopCount->value();
    Form1->Settings.LoopTimes = static_cast<int32_t>(position);
    Form1->LoopSwitch = position != 0;
    TSideWindow::FormClose();
}

void TForm3::StoreAtQuit()
{
    if (IsOpen())
        Form1->Settings.LoopTimes = static_cast<int32_t>(LoopCount->value());
}
