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
    const Qt::KeyboardModifiers held = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (held == Qt::ControlModifier && key->key() == Qt::Key_Q) {
        act_(Action::Quit);
        return true;
    }
    // With Ctrl, Alt or Meta held the key means something else (a shortcut), and is left alone.
    if (held != Qt::NoModifier)
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
    case Qt::Key_N:
    case Qt::Key_PageDown:
        action = Action::Next;
        break;
    case Qt::Key_B:
    case Qt::Key_PageUp:
        action = Action::Previous;
        break;
    // "+" is Shift+"=" on many keyboards: the key itself counts, shifted or not.
    case Qt::Key_Up:
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        action = Action::VolumeUp;
        break;
    case Qt::Key_Down:
    case Qt::Key_Minus:
        action = Action::VolumeDown;
        break;
    default:
        return false;
    }
    act_(action);
    return true;
}
