#include "TScreenPlace.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <climits>

namespace {
// A window counts as reachable when this much of it (or all of it, if smaller) is on a screen:
// enough to take it with the mouse.
constexpr int Reachable = 32;

// A screen's rectangle in display pixels. Qt keeps a screen's top-left corner as the server
// has it and scales its size.
QRect Native(const QScreen* screen)
{
    const QRect g = screen->geometry();
    const qreal ratio = screen->devicePixelRatio();
    return QRect(g.topLeft(), QSize(qRound(g.width() * ratio), qRound(g.height() * ratio)));
}

QPoint ToNative(const QScreen* screen, QPoint logical)
{
    const QPoint origin = screen->geometry().topLeft();
    const qreal ratio = screen->devicePixelRatio();
    return origin + QPoint(qRound((logical.x() - origin.x()) * ratio), qRound((logical.y() - origin.y()) * ratio));
}

QPoint ToLogical(const QScreen* screen, QPoint native)
{
    const QPoint origin = screen->geometry().topLeft();
    const qreal ratio = screen->devicePixelRatio();
    return origin + QPoint(qRound((native.x() - origin.x()) / ratio), qRound((native.y() - origin.y()) / ratio));
}

long long DistanceSquared(const QRect& a, const QRect& b)
{
    const long long dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const long long dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

const QScreen* ScreenHolding(QPoint native)
{
    for (const QScreen* screen : QGuiApplication::screens())
        if (Native(screen).contains(native))
            return screen;
    return QGuiApplication::primaryScreen();
}
}

QPoint TScreenPlace::OnScreen(const QRect& place, const std::vector<QRect>& screens)
{
    if (screens.empty())
        return place.topLeft();
    const int needW = std::min(Reachable, place.width());
    const int needH = std::min(Reachable, place.height());
    const QRect* nearest = nullptr;
    long long best = LLONG_MAX;
    for (const QRect& screen : screens) {
        const QRect common = screen.intersected(place);
        if (common.width() >= needW && common.height() >= needH)
            return place.topLeft();
        const long long d = DistanceSquared(place, screen);
        if (d < best) {
            best = d;
            nearest = &screen;
        }
    }
    const int x = std::max(nearest->left(), std::min(place.left(), nearest->right() + 1 - place.width()));
    const int y = std::max(nearest->top(), std::min(place.top(), nearest->bottom() + 1 - place.height()));
    return {x, y};
}

QPoint TScreenPlace::Stored(const QWidget* window)
{
    const QScreen* screen = window->screen();
    return screen != nullptr ? ToNative(screen, window->pos()) : window->pos();
}

void TScreenPlace::Restore(QWidget* window, QPoint stored)
{
    std::vector<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.push_back(Native(screen));
    const QScreen* any = QGuiApplication::primaryScreen();
    const qreal ratio = any != nullptr ? any->devicePixelRatio() : 1.0;
    const QSize size(qRound(window->width() * ratio), qRound(window->height() * ratio));
    const QPoint place = OnScreen(QRect(stored, size), screens);
    const QScreen* screen = ScreenHolding(place);
    window->move(screen != nullptr ? ToLogical(screen, place) : place);
}
