#pragma once
// TWindowPlacer: where our windows go on the desktop, decided on rectangles alone. Every window
// is placed wholly on a screen and, where the screens leave room, over none of our other
// windows: a side window opens beside the window it belongs to, and a place kept from an earlier
// run that now covers another of ours or leaves the screen (a smaller desktop, another scale) is
// moved to the nearest place that does neither. Rectangles are whole windows, frames included,
// in one unit of the caller's choosing; any numbers are taken, a place far beyond every screen
// as lying off them.
#include <vector>

struct TBox {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    int Right() const { return Left + Width; }  // just past the last column
    int Bottom() const { return Top + Height; }
    bool Overlaps(const TBox& other) const;
    bool Inside(const TBox& outer) const;
    bool operator==(const TBox&) const = default;
};

class TWindowPlacer {
public:
    enum class TSide { Below, Right, Left, Above };
    // A place to try: touching anchor's side, level with its top (or left, below and above).
    struct TBeside {
        TBox Anchor;
        TSide Side;
    };

    explicit TWindowPlacer(std::vector<TBox> screens);

    // Kept when wholly on a screen; else moved the least way onto the screen that holds most of
    // it (the nearest, when none does), its top-left corner on it when it is larger.
    TBox OnScreen(TBox place) const;
    // The nearest place to `place` wholly on a screen and over none of `others`; when the screens
    // leave no such place, the place on a screen that covers them least.
    TBox Free(TBox place, const std::vector<TBox>& others) const;
    // The first of the sides tried where a window of this size lies wholly on a screen (slid
    // along the side to get there) and over none of `others`; when none is, the nearest free
    // place to the first.
    TBox Beside(int width, int height, const std::vector<TBeside>& tried, const std::vector<TBox>& others) const;

private:
    std::vector<TBox> screens_;
};
