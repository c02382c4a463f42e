#pragma once
// TFirstPlacement: on the first run the playlist window opens where the main window opens. The
// main window is shown without a stored place and the window manager chooses one, but its
// choice arrives later as a move; until then the main window's place reads (0, 0). This watcher
// takes the first move the main window gets from the window system as the main window's first
// place, gives it to the playlist window's record (and to the playlist window, shown or not, if it
// is still where the record put it), and then goes.
#include <QObject>
#include <QPoint>

class QWidget;
struct TPlayerSettings;

class TFirstPlacement : public QObject {
public:
    // Watches main, a child of it; settings is the record both windows are placed from.
    TFirstPlacement(QWidget* main, TPlayerSettings& settings, QWidget* (*playlist)());

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* main_;
    TPlayerSettings& settings_;
    QWidget* (*playlist_)();
};
