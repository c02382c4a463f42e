#include "TScreenPlace.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMargins>
#include <QScreen>
#include <QWidget>

namespace {
// The frame assumed for a window not framed yet when no other window of ours has been: a title
// bar and a thin border, in display pixels. Too much leaves a gap; too little is put right once
// the window is framed.
const QMargins UsualFrame(4, 30, 4, 4);

// Display pixels per Qt pixel (the same for every screen under Qt's own scale factor).
qreal Ratio(const QWidget* window)
{
    if (window != nullptr && window->screen() != nullptr)
        return window->screen()->devicePixelRatio();
    const QScreen* any = QGuiApplication::primaryScreen();
    return any != nullptr ? any->devicePixelRatio() : 1.0;
}

// A screen's rectangle in display pixels. Qt keeps a screen's top-left corner as the server
// has it and scales its size.
TBox Native(const QScreen* screen)
{
    const QRect g = screen->geometry();
    const qreal ratio = screen->devicePixelRatio();
    return TBox{g.left(), g.top(), qRound(g.width() * ratio), qRound(g.height() * ratio)};
}

const QScreen* ScreenOf(QPoint logical)
{
    const QScreen* screen = QGuiApplication::screenAt(logical);
    return screen != nullptr ? screen : QGuiApplication::primaryScreen();
}

QPoint ToNative(const QScreen* screen, QPoint logical)
{
    if (screen == nullptr)
        return logical;
    const QPoint origin = screen->geometry().topLeft();
    const qreal ratio = screen->devicePixelRatio();
    return origin + QPoint(qRound((logical.x() - origin.x()) * ratio), qRound((logical.y() - origin.y()) * ratio));
}

const QScreen* ScreenHolding(QPoint native)
{
    for (const QScreen* screen : QGuiApplication::screens()) {
        const TBox box = Native(screen);
        if (native.x() >= box.Left && native.x() < box.Right() && native.y() >= box.Top && native.y() < box.Bottom())
            return screen;
    }
    return QGuiApplication::primaryScreen();
}

bool Framed(const QWidget* window)
{
    return !(window->windowFlags() & Qt::FramelessWindowHint);
}

void MoveNative(QWidget* window, QPoint native)
{
    const QScreen* screen = ScreenHolding(native);
    if (screen == nullptr) {
        window->move(native);
        return;
    }
    const QPoint origin = screen->geometry().topLeft();
    const qreal ratio = screen->devicePixelRatio();
    window->move(origin + QPoint(qRound((native.x() - origin.x()) / ratio), qRound((native.y() - origin.y()) / ratio)));
}

// The frame a window manager gave a shown window of ours, in display pixels; none known: the usual.
QMargins KnownFrame()
{
    for (const QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || !Framed(w))
            continue;
        const QRect frame = w->frameGeometry();
        const QRect inner = w->geometry();
        if (frame == inner)
            continue;
        const qreal ratio = Ratio(w);
        return QMargins(qRound((inner.left() - frame.left()) * ratio), qRound((inner.top() - frame.top()) * ratio),
                        qRound((frame.right() - inner.right()) * ratio),
                        qRound((frame.bottom() - inner.bottom()) * ratio));
    }
    return UsualFrame;
}

std::vector<TBox> Shown(const std::vector<const QWidget*>& others, const QWidget* self)
{
    std::vector<TBox> boxes;
    for (const QWidget* other : others)
        if (other != nullptr && other != self && other->isVisible())
            boxes.push_back(TScreenPlace::Frame(other));
    return boxes;
}
}

std::vector<TBox> TScreenPlace::Screens()
{
    std::vector<TBox> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(Native(screen));
    return screens;
}

QPoint TScreenPlace::Stored(const QWidget* window)
{
    return ToNative(window->screen(), window->pos());
}

TBox TScreenPlace::Frame(const QWidget* window)
{
    const qreal ratio = Ratio(window);
    const QPoint corner = ToNative(ScreenOf(window->pos()), window->pos());
    QSize size(qRound(window->width() * ratio), qRound(window->height() * ratio));
    if (window->isVisible() && window->frameGeometry() != window->geometry()) {
        size = QSize(qRound(window->frameGeometry().width() * ratio), qRound(window->frameGeometry().height() * ratio));
    } else if (Framed(window) && window->isWindow()) {
        const QMargins m = KnownFrame();
        size += QSize(m.left() + m.right(), m.top() + m.bottom());
    }
    return TBox{corner.x(), corner.y(), size.width(), size.height()};
}

void TScreenPlace::Restore(QWidget* window, QPoint stored, const std::vector<const QWidget*>& others)
{
    TBox place = Frame(window);
    place.Left = stored.x();
    place.Top = stored.y();
    const TBox free = TWindowPlacer(Screens()).Free(place, Shown(others, window));
    // A window already there is not moved: at a fractional scale the way back to Qt's pixels
    // could shift it by one.
    if (QPoint(free.Left, free.Top) != Stored(window))
        MoveNative(window, QPoint(free.Left, free.Top));
}

void TScreenPlace::PlaceBeside(QWidget* window, const std::vector<TBeside>& tried,
                               const std::vector<const QWidget*>& others)
{
    std::vector<TWindowPlacer::TBeside> sides;
    for (const TBeside& b : tried)
        if (b.Anchor != nullptr && b.Anchor != window)
            sides.push_back({Frame(b.Anchor), b.Side});
    if (sides.empty())
        return;
    const TBox size = Frame(window);
    const TBox place = TWindowPlacer(Screens()).Beside(size.Width, size.Height, sides, Shown(others, window));
    MoveNative(window, QPoint(place.Left, place.Top));
}

bool TScreenPlace::Covers(const QWidget* window, const std::vector<const QWidget*>& others)
{
    const TBox self = Frame(window);
    for (const TBox& other : Shown(others, window))
        if (self.Overlaps(other))
            return true;
    return false;
}
