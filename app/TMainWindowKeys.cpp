#include "TMainWindowKeys.h"

#include "Unit1.h"

#include <QKeyEvent>

TMainWindowKeys::TMainWindowKeys(TForm1* form) : QObject(form), form_(form)
{
    form->setFocusPolicy(Qt::StrongFocus);
    form->installEventFilter(this);
}

bool TMainWindowKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != form_ || event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // With Ctrl, Alt or Meta held the key means something else (a shortcut), and is left alone.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    TSpeedButton* button = nullptr;
    switch (key->key()) {
    case Qt::Key_Space:
        // Held down, Space would pause and resume in turn for as long as it repeats.
        if (key->isAutoRepeat())
            return true;
        button = form_->bPause;
        break;
    case Qt::Key_Left:
        button = form_->bRewind;
        break;
    case Qt::Key_Right:
        button = form_->bFast;
        break;
    default:
        return false;
    }
    form_->bPlayClick(button);
    return true;
}
