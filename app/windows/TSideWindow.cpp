#include "TSideWindow.h"

#include "TScreenPlace.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"

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

namespace {
using TSide = TWindowPlacer::TSide;

// Our windows that may lie in the way.
std::vector<const QWidget*> Ours()
{
    return {Form1, Form2, Form3, Form4};
}
}

template <class Base>
void TSideWindow<Base>::PlaceBesideMain()
{
    TScreenPlace::PlaceBeside(this, {{Form1, TSide::Below}, {Form1, TSide::Right}, {Form1, TSide::Left}, {Form1, TSide::Above}},
                              Ours());
}

template <class Base>
void TSideWindow<Base>::Settle()
{
    const QPoint here = TScreenPlace::Stored(this);
    TScreenPlace::Restore(this, here, Ours());
}

template <class Base>
void TSideWindow<Base>::MoveBesideMain()
{
    std::vector<TScreenPlace::TBeside> tried{{Form1, TSide::Right}};
    for (const QWidget* small : {static_cast<const QWidget*>(Form3), static_cast<const QWidget*>(Form4)})
        if (small != nullptr && small != this && small->isVisible())
            tried.push_back({small, TSide::Below});
    tried.insert(tried.end(), {{Form1, TSide::Left}, {Form1, TSide::Below}, {Form1, TSide::Above}});
    if (Form2 != nullptr && Form2->isVisible())
        tried.insert(tried.end(), {{Form2, TSide::Right}, {Form2, TSide::Left}});
    TScreenPlace::PlaceBeside(this, tried, Ours());
}

template <class Base>
void TSideWindow<Base>::setVisible(bool visible)
{
    if (visible && !this->isVisible() && Form1 != nullptr)
        PlaceAndRestore();
    Base::setVisible(visible);
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
