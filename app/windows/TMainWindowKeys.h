#pragma once
// The main window's keys while it has focus: Space pauses or resumes, Left and Right go five
// seconds back or forward, N and Page Down go to the next piece, B and Page Up to the one before,
// Up and "+" raise the volume, Down and "-" lower it, and Ctrl+Q quits. The window turns each
// action into the handler of the button or menu item that does the same, so a key and a click
// can never differ.
#include <QObject>
#include <functional>

class QWidget;

class TMainWindowKeys : public QObject {
    Q_OBJECT
public:
    enum class Action { PauseOrResume, Back, Forward, Next, Previous, VolumeUp, VolumeDown, Quit };

    // Watches the window's key presses; owned by the window.
    TMainWindowKeys(QWidget* window, std::function<void(Action)> act);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::function<void(Action)> act_;
};
