#pragma once
// TDemoScore: the notes of the demo piece, "ループの森": a four-bar intro and an eight-bar section
// that loops, at 120 beats a minute in C major.
#include "DemoSynth.h"

#include <vector>

class TDemoScore {
public:
    static constexpr double Beat = 0.5;  // seconds
    static constexpr double Bar = 4 * Beat;
    static constexpr int IntroBars = 4;
    static constexpr int LoopBars = 8;

    // Times relative to the start of the intro; the last intro bar is the loop's last bar, so the
    // intro leads into the loop exactly as the loop leads back into itself.
    static std::vector<TDemoNote> Intro();
    // Times relative to the start of the loop section.
    static std::vector<TDemoNote> Loop();
};
