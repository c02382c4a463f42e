#include "Unit4.h"

#include "Unit1.h"
#include "ui_Unit4.h"

#include <QCloseEvent>
#include <QLabel>
#include <QScrollBar>
#include <QShowEvent>

TForm4* Form4 = nullptr;

TForm4::TForm4(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::TForm4>())
{
    Form4 = this;
    ui->setupUi(this);
    VolumeBar = ui->VolumeBar;
    Label1 = ui->Label1;
    // A tool window with only a close button.
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont face(QStringLiteral("ＭＳ Ｐゴシック"));
    face.setPixelSize(12);
    setFont(face);
    connect(VolumeBar, &QScrollBar::valueChanged, this, [this] { VolumeBarChange(); });
    FormCreate();
}

TForm4::~TForm4()
{
    if (Form4 == this)
        Form4 = nullptr;
}

void TForm4::PlaceAndRestore()
{
    const QRect main = Form1->frameGeometry();
    move(main.left() + main.width(), main.top());
    // A stored level outside 0 .. 10000 stops at the nearer end of the bar.
    VolumeBar->setValue(Form1->Settings.VolumeLevel);
    Form1->OggStream.SetVolume(VolumeBar->value() - 10000);
}

void TForm4::FormCreate()
{
    PlaceAndRestore();
    if (Form1->Settings.VolumeWindowShown != 0)
        show();
    else
        hide();
}

void TForm4::FormShow()
{
    PlaceAndRestore();
    Form1->Settings.VolumeWindowShown = 1;
}

void TForm4::FormClose()
{
    Form1->Settings.VolumeWindowShown = 0;
}

void TForm4::VolumeBarChange()
{
    const int position = VolumeBar->value();
    Form1->Settings.VolumeLevel = position;
    Label1->setText(QString::number(position));
    Form1->OggStream.SetVolume(position - 10000);
}

void TForm4::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TForm4::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}
