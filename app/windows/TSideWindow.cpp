#include "TSideWindow.h"

#include "Unit1.h"

#include <QCloseEvent>
#include <QShowEvent>

template <class Base>
TSideWindow<Base>::TSideWindow(QWidget* parent, ShownFlag shown) : Base(parent), shown_(shown)
{
}

template <class Base>
TSideWindow<Base>::~TSideWindow()
{
    if (forgetName_)
        forgetName_();
}

template <class Base>
void TSideWindow<Base>::FormCreate()
{
    PlaceAndRestore();
    ShowAsRecorded();
}

template <class Base>
void TSideWindow<Base>::FormShow()
{
    PlaceAndRestore();
    Form1->Settings.*shown_ = 1;
}

template <class Base>
void TSideWindow<Base>::FormClose()
{
    Form1->Settings.*shown_ = 0;
}

template <class Base>
bool TSideWindow<Base>::IsOpen() const
{
    return this->isVisible() || Form1->Settings.*shown_ != 0;
}

template <class Base>
void TSideWindow<Base>::MakeToolWindow(int facePixels)
{
    this->setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    if (facePixels > 0) {
        QFont face(QStringLiteral("ＭＳ Ｐゴシック"));
        face.setPixelSize(facePixels);
        this->setFont(face);
    }
}

template <class Base>
void TSideWindow<Base>::ShowAsRecorded()
{
    if (Form1->Settings.*shown_ != 0)
        this->show();
    else
        this->hide();
}

template <class Base>
void TSideWindow<Base>::MoveBesideMain()
{
    const QRect main = Form1->frameGeometry();
    this->move(main.left() + main.width(), main.top());
}

template <class Base>
void TSideWindow<Base>::showEvent(QShowEvent* event)
{
    Base::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

template <class Base>
void TSideWindow<Base>::closeEvent(QCloseEvent* event)
{
    FormClose();
    event->accept();
}

template class TSideWindow<QWidget>;
template class TSideWindow<QMainWindow>;
