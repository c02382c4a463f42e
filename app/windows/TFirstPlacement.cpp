#include "TFirstPlacement.h"

#include "PlayerSettings.h"
#include "TScreenPlace.h"

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
    // The record keeps places in the display's pixels (TScreenPlace), the window moves in Qt's.
    const QPoint place = static_cast<QMoveEvent*>(event)->pos();
    const QPoint recorded(settings_.PlaylistLeft, settings_.PlaylistTop);
    const QPoint stored = TScreenPlace::Stored(main_);
    settings_.PlaylistLeft = stored.x();
    settings_.PlaylistTop = stored.y();
    if (QWidget* playlist = playlist_(); playlist != nullptr && TScreenPlace::Stored(playlist) == recorded)
        playlist->move(place);
    main_->removeEventFilter(this);
    deleteLater();
    return false;
}
