#pragma once
// TScreenPlace: a window's place as the settings record keeps it. The record holds the place in
// the display's own pixels, the units the screens have on the server, so that a record written
// under one scale factor opens the window at the same spot under another. A stored place that
// lies off every screen (a screen since removed, a record from a larger desktop) is brought
// back onto the nearest screen, so the window never opens where nobody can reach it.
#include <QPoint>
#include <QRect>
#include <vector>

class QWidget;

class TScreenPlace {
public:
    // The window's top-left corner in display pixels.
    static QPoint Stored(const QWidget* window);
    // Moves the window to a stored place, brought onto a screen when it is off all of them.
    static void Restore(QWidget* window, QPoint stored);

    // The rule, in display pixels: place (the window's rectangle) is kept when a good part of it
    // lies on one of the screens; otherwise it is moved by the least distance that puts it
    // wholly on the nearest screen (its top-left corner on it when it is larger than the screen).
    static QPoint OnScreen(const QRect& place, const std::vector<QRect>& screens);
};
