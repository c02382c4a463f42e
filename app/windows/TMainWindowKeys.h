#pragma once
// The main window's keys while it has focus: Space pauses or resumes, Left and Right go five
// seconds back or forward. The window turns each action into the handler of the button that does
// the same, so a key and a click can never differ.
#include <QObject>
#include <functional>

class QWidget;

class TMainWindowKeys : public QObject {
    Q_OBJECT
public:
    enum class Action { PauseOrResume, Back, Forward };

    // Watches the window's key presses; owned by the window.
    TMainWindowKeys(QWidget* window, std::function<void(Action)> act);

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* window_;
    std::function<void(Action)> act_;
};
