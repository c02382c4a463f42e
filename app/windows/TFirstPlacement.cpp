#include "TFirstPlacement.h"

#include <QEvent>
#include <QWidget>
#include <utility>

TFirstPlacement::TFirstPlacement(QWidget* main, std::function<void()> placeBeside)
    : QObject(main), main_(main), placeBeside_(std::move(placeBeside))
{
    main_->installEventFilter(this);
}

bool TFirstPlacement::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != main_ || event->type() != QEvent::Move || !event->spontaneous() || !main_->isVisible())
        return false;
    placeBeside_();
    main_->removeEventFilter(this);
    deleteLater();
    return false;
}
