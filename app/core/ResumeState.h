#pragma once
// What the kept playlist remembers beside its entries and its current one, in lines of its own
// that other players pass over as comments: the place in the piece when the program ended and
// whether it was paused there, and the playlist window's size. Written and read without Qt.
#include <string>

namespace ResumeState {

struct TState {
    double position = 0.0;  // seconds into the current piece; 0 when it was not going
    bool paused = false;    // the piece was paused at position
    int listWidth = 0;      // the playlist window's size in the interface's pixels; 0 when not kept
    int listHeight = 0;
};

// The lines for state, each ended by CR LF; nothing for a state with nothing to keep.
std::string Lines(const TState& state);
// The state in the lines of a kept playlist (any bytes): a value that is malformed, not finite
// or out of range is left at its default.
TState Parse(const std::string& bytes);

}
