#pragma once
// TFirstPlacement: on the first run the playlist window opens beside the main window. The main
// window is shown without a stored place and the window manager chooses one, but its choice
// arrives later as a move; until then the main window's place reads (0, 0). This watcher waits
// for the first move the main window gets from the window system, has the side windows placed
// beside the main window where it now is, and then goes.
#include <QObject>
#include <functional>

class QWidget;

class TFirstPlacement : public QObject {
public:
    // Watches main, a child of it; placeBeside places the side windows beside it.
    TFirstPlacement(QWidget* main, std::function<void()> placeBeside);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* main_;
    std::function<void()> placeBeside_;
};
