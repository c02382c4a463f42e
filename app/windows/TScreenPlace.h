#pragma once
// TScreenPlace: our windows' places on the desktop, as TWindowPlacer decides them, in the
// display's own pixels. The settings record keeps places in those pixels, the units the screens
// have on the server, so that a record written under one scale factor opens the window at the
// same spot under another; the rule sees the windows there too, frames included, since a window
// manager draws frames in the display's pixels whatever Qt's scale.
#include "TWindowPlacer.h"

#include <QPoint>
#include <vector>

class QWidget;

class TScreenPlace {
public:
    // The window's top-left corner (its frame's) in display pixels.
    static QPoint Stored(const QWidget* window);
    // Moves the window to a stored place, brought wholly onto a screen and off the windows of
    // ours given (hidden ones and the window itself do not count).
    static void Restore(QWidget* window, QPoint stored, const std::vector<const QWidget*>& others = {});
    // One side of one of our windows to try.
    struct TBeside {
        const QWidget* Anchor;
        TWindowPlacer::TSide Side;
    };
    // Moves the window to the first side tried where it is wholly on a screen and over none of
    // the others (as for Restore); when none is, to the nearest free place.
    static void PlaceBeside(QWidget* window, const std::vector<TBeside>& tried,
                            const std::vector<const QWidget*>& others);
    // Whether the window lies over one of the others, as they stand now.
    static bool Covers(const QWidget* window, const std::vector<const QWidget*>& others);

    // The window as the rule sees it: its frame in display pixels. Before a window manager has
    // framed it, a frame like the one it gave another of our windows is assumed (or a usual
    // title bar and border when none has been framed yet); a window without a frame has none.
    static TBox Frame(const QWidget* window);
    static std::vector<TBox> Screens();
};
