#pragma once
// TFaceDisplay: the texts on the main window's face (title, time, total time) drawn only when
// somebody can see them, and only when they change.
//
// The time label changes ten times a second while a piece plays, and each change is a paint of
// that part of the window. While the window is hidden, minimised, not mapped or wholly covered,
// nobody sees those paints: the time timer rests then, and once the face is seen again it ticks
// at once, so the current time shows straight away. Everything else the timers do goes on.
//
// A caption that is already shown is not set again: no layout pass, no text shaping, no paint.
#include "TWindowVisibility.h"

#include <QObject>
#include <functional>
#include <string>

class QLabel;
class QTimer;
class QWidget;

class TFaceDisplay : public QObject {
    Q_OBJECT
public:
    // window: the main window, whose visibility decides; timeTimer: the timer that shows the
    // time, rested while the face cannot be seen (owned by the window); tick: its handler.
    TFaceDisplay(QWidget* window, QTimer* timeTimer, std::function<void()> tick);

    // Whether the face can be seen now: the window shown, not minimised, exposed on its screen
    // and not wholly covered (a window just shown counts as seen until its platform says
    // otherwise).
    bool FaceSeen() const;

    // Shows the caption (Shift-JIS bytes) on the label unless the label shows it already: a time
    // that stands still (stopped, or the end of a piece not yet noticed) is not drawn again.
    static void SetCaption(QLabel* label, const std::string& sjis);
    // The label's caption scrolled by one character (an empty caption stays empty).
    static void ScrollCaption(QLabel* label);
    // Sizes the label to its text when the text's width has changed.
    static void FitToText(QLabel* label);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Rests the timer when the face has gone out of sight, and wakes it (with one tick at once)
    // when the face is seen again.
    void Follow();

    QWidget* window_;
    QTimer* timer_;
    std::function<void()> tick_;
    bool rested_ = false;          // the timer was stopped here, not by its owner
    bool watchingWindow_ = false;  // the filter sits on the window's platform window too
    bool exposed_ = true;          // as the platform window last said
    bool covered_ = false;         // wholly covered by other windows, as the X server last said
    TWindowVisibility visibility_;
};
