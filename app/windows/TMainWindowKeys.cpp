#include "TMainWindowKeys.h"

#include <QKeyEvent>
#include <QWidget>

TMainWindowKeys::TMainWindowKeys(QWidget* window, std::function<void(Action)> act)
    : QObject(window), window_(window), act_(std::move(act))
{
    window->setFocusPolicy(Qt::StrongFocus);
    window->installEventFilter(this);
}

bool TMainWindowKeys::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_ || event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // With Ctrl, Alt or Meta held the key means something else (a shortcut), and is left alone.
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return false;
    Action action;
    switch (key->key()) {
    case Qt::Key_Space:
        // Held down, Space would pause and resume in turn for as long as it repeats.
        if (key->isAutoRepeat())
            return true;
        action = Action::PauseOrResume;
        break;
    case Qt::Key_Left:
        action = Action::Back;
        break;
    case Qt::Key_Right:
        action = Action::Forward;
        break;
    default:
        return false;
    }
    act_(action);
    return true;
}
