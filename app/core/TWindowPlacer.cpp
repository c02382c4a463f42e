#include "TWindowPlacer.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace {
long long Area(const TBox& a, const TBox& b)
{
    const long long w = std::min(a.Right(), b.Right()) - std::max(a.Left, b.Left);
    const long long h = std::min(a.Bottom(), b.Bottom()) - std::max(a.Top, b.Top);
    return w > 0 && h > 0 ? w * h : 0;
}

long long Gap(const TBox& a, const TBox& b)
{
    const long long dx = std::max({0, b.Left - a.Right(), a.Left - b.Right()});
    const long long dy = std::max({0, b.Top - a.Bottom(), a.Top - b.Bottom()});
    return dx * dx + dy * dy;
}

// The place moved the least way to lie wholly on the screen; its top-left corner on it when it is
// larger.
TBox Clamp(TBox place, const TBox& screen)
{
    place.Left = std::max(screen.Left, std::min(place.Left, screen.Right() - place.Width));
    place.Top = std::max(screen.Top, std::min(place.Top, screen.Bottom() - place.Height));
    return place;
}

// A place from a settings record may hold any number. One this far off lies off every screen
// whatever the desktop, and its sums cannot overflow.
constexpr int Far = 1 << 24;

TBox Bounded(TBox place)
{
    place.Left = std::clamp(place.Left, -Far, Far);
    place.Top = std::clamp(place.Top, -Far, Far);
    place.Width = std::clamp(place.Width, 0, Far);
    place.Height = std::clamp(place.Height, 0, Far);
    return place;
}

long long Covered(const TBox& place, const std::vector<TBox>& others)
{
    long long sum = 0;
    for (const TBox& other : others)
        sum += Area(place, other);
    return sum;
}
}

bool TBox::Overlaps(const TBox& other) const
{
    return Area(*this, other) > 0;
}

bool TBox::Inside(const TBox& outer) const
{
    return Left >= outer.Left && Top >= outer.Top && Right() <= outer.Right() && Bottom() <= outer.Bottom();
}

TWindowPlacer::TWindowPlacer(std::vector<TBox> screens) : screens_(std::move(screens))
{
}

TBox TWindowPlacer::OnScreen(TBox place) const
{
    place = Bounded(place);
    const TBox* best = nullptr;
    long long bestArea = 0;
    long long bestGap = LLONG_MAX;
    for (const TBox& screen : screens_) {
        if (place.Inside(screen))
            return place;
        const long long area = Area(place, screen);
        const long long gap = Gap(place, screen);
        if (area > bestArea || (area == bestArea && bestArea == 0 && gap < bestGap)) {
            best = &screen;
            bestArea = area;
            bestGap = gap;
        }
    }
    return best != nullptr ? Clamp(place, *best) : place;
}

TBox TWindowPlacer::Free(TBox place, const std::vector<TBox>& others) const
{
    place = Bounded(place);
    if (screens_.empty())
        return place;
    // The nearest free place touches an edge of another window or of a screen in each direction
    // in which it had to move, so those edges are the only places worth trying.
    std::vector<int> xs{place.Left};
    std::vector<int> ys{place.Top};
    for (const std::vector<TBox>* boxes : {&others, &screens_})
        for (const TBox& b : *boxes) {
            xs.insert(xs.end(), {b.Left, b.Left - place.Width, b.Right(), b.Right() - place.Width});
            ys.insert(ys.end(), {b.Top, b.Top - place.Height, b.Bottom(), b.Bottom() - place.Height});
        }
    TBox best = OnScreen(place);
    long long bestCover = Covered(best, others);
    long long bestDistance = LLONG_MAX;
    for (const int x : xs)
        for (const int y : ys) {
            TBox tried = place;
            tried.Left = x;
            tried.Top = y;
            tried = OnScreen(tried);
            const long long cover = Covered(tried, others);
            const long long dx = tried.Left - place.Left;
            const long long dy = tried.Top - place.Top;
            const long long distance = dx * dx + dy * dy;
            if (cover < bestCover || (cover == bestCover && distance < bestDistance)) {
                best = tried;
                bestCover = cover;
                bestDistance = distance;
            }
        }
    return best;
}

TBox TWindowPlacer::Beside(int width, int height, const std::vector<TBeside>& tried,
                           const std::vector<TBox>& others) const
{
    std::vector<TBox> places;
    for (const TBeside& b : tried) {
        const TBox a = Bounded(b.Anchor);
        TBox place = Bounded({a.Left, a.Top, width, height});
        switch (b.Side) {
        case TSide::Below: place.Top = a.Bottom(); break;
        case TSide::Right: place.Left = a.Right(); break;
        case TSide::Left: place.Left = a.Left - width; break;
        case TSide::Above: place.Top = a.Top - height; break;
        }
        // Slid along the side (never away from it) onto the anchor's screen.
        const bool vertical = b.Side == TSide::Below || b.Side == TSide::Above;
        const TBox fitted = OnScreen(place);
        (vertical ? place.Left : place.Top) = vertical ? fitted.Left : fitted.Top;
        places.push_back(place);
        const bool onScreen = std::any_of(screens_.begin(), screens_.end(), [&](const TBox& s) { return place.Inside(s); });
        if ((onScreen || screens_.empty()) && Covered(place, others) == 0)
            return place;
    }
    return places.empty() ? OnScreen(TBox{0, 0, width, height}) : Free(places.front(), others);
}
