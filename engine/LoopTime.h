#pragma once
// How the renderer turns a loop entry's 32-bit float times into frames, in one place, so that the
// tools which choose those times (qvtool import, export and info) reckon exactly as playback does.
//
// The start of a loop is reached by a decoder seek; its end is met by the loop step of a block,
// which decodes up to the whole frame nearest to the end, measured from the block's own start.
#include <cstdint>

namespace LoopTime {

// The time a block is measured from, given the decoder's exact position in seconds. Streams
// played directly narrow it to a float, as they always have; converted streams keep it whole, so
// that an end becomes the same source frame wherever a chunk of source happens to begin.
double BlockTime(double exact, bool converted);

// Whether an end falls within a block that starts at `now` and lasts `span` seconds (both
// bounds included).
bool EndInSpan(float loopEnd, double now, double span);

// Whether an end lies within a stream of totalTime seconds, and so can be reached; the small
// margin keeps an end written as the stream's own length (rounded to a float) in it.
bool EndInStream(float loopEnd, float totalTime);

// Bytes of a block decoded from `now` before the jump of a loop ending at loopEnd: the distance
// rounded to the nearest byte (ties to even) and cut to a whole frame. Not clamped to the block.
// The caller keeps the distance within a block's reach.
int64_t BytesToEnd(float loopEnd, double now, int32_t bytesPerSecond);

// The frame the decoder lands on when it seeks to `seconds` in a single-link stream of `rate`
// frames per second: the product cut toward zero. -1 for a time it refuses (below zero, or too
// large to name a frame).
int64_t SeekFrame(double seconds, int32_t rate);

// The frame at which a loop ending at loopEnd jumps (the first frame not played before the jump)
// in a block that starts at frame `from` and is `blockFrames` long, in a stream of `rate`; -1
// when the end does not fall within that block.
int64_t EndFrame(float loopEnd, int64_t from, int64_t blockFrames, int32_t rate, bool converted);

// Source frames decoded at a time for the converter: small enough that a block's worth of loop
// checks stays cheap, large enough that the decoder's reads are not cut short.
inline constexpr int64_t SourceChunkFrames = 4096;

// Source frames a block covers: one output block on the direct path, one chunk of source handed
// to the converter on the converted one.
int64_t BlockFrames(bool converted);

}
