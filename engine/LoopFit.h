#pragma once
// TLoopFit: the 32-bit float times that make our renderer loop at given frames of a stream, and
// the frames that given times make it loop at. Frames count at the stream's own rate; a stream
// at another rate than the output's has its loop points met in its own frames, before the
// conversion, so the same frames hold whichever path plays it.
#include <cstdint>

class TLoopFit {
public:
    // A stream of `rate` frames per second and `totalFrames` frames (0 when unknown).
    TLoopFit(int32_t rate, int64_t totalFrames);

    struct TPoint {
        float Time = 0.0f;
        // Frames by which playback from the start misses the frame asked for with this time.
        int64_t FirstError = 0;
        // Frames by which it can miss it at worst, blocks starting anywhere (after a jump or a
        // seek); 0 when it always lands on it exactly.
        int64_t Error = 0;
    };
    // The time for a loop start: playback goes on at `frame` after the jump.
    TPoint Start(int64_t frame) const;
    // The time for a loop end: `frame` is the first frame not played before the jump (the last
    // frame played is the one before it). An end at the stream's end loops there.
    TPoint End(int64_t frame) const;

    // The frame a start time seeks to; -1 for a time the decoder refuses.
    int64_t StartFrame(float time) const;
    // The frame at which an end time jumps when the piece is played from its start; -1 for a
    // time that names no frame.
    int64_t EndFrame(float time) const;

private:
    // Frames by which `time` misses `frame` as an end: from the start, and at worst over every
    // place a block can start from.
    TPoint EndError(float time, int64_t frame) const;

    int32_t rate_;
    int64_t total_;
    bool converted_;
};
