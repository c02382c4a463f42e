#include "TFirstPlacement.h"

#include "PlayerSettings.h"

#include <QEvent>
#include <QMoveEvent>
#include <QWidget>

TFirstPlacement::TFirstPlacement(QWidget* main, TPlayerSettings& settings, QWidget* (*playlist)())
    : QObject(main), main_(main), settings_(settings), playlist_(playlist)
{
    main_->installEventFilter(this);
}

bool TFirstPlacement::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != main_ || event->type() != QEvent::Move || !event->spontaneous() || !main_->isVisible())
        return false;
    const QPoint place = static_cast<QMoveEvent*>(event)->pos();
    const QPoint recorded(settings_.PlaylistLeft, settings_.PlaylistTop);
    settings_.PlaylistLeft = place.x();
    settings_.PlaylistTop = place.y();
    if (QWidget* playlist = playlist_(); playlist != nullptr && playlist->pos() == recorded)
        playlist->move(place);
    main_->removeEventFilter(this);
    deleteLater();
    return false;
}
