#pragma once
// The one sound format the engine renders and the player plays: 44100 Hz, two channels of
// signed 16-bit samples. The stream player's buffer holds two seconds and is refilled one block,
// one second, at a time; qvtool render writes blocks of the same size, so that its output and
// the player's are the same bytes.
#include <cstdint>

namespace OutputFormat {

inline constexpr int32_t Rate = 44100;
inline constexpr int32_t Channels = 2;
inline constexpr int32_t BitsPerSample = 16;
inline constexpr int32_t BytesPerFrame = Channels * BitsPerSample / 8;
inline constexpr int32_t BytesPerSecond = Rate * BytesPerFrame;
// One block: a second of sound, half of the stream buffer.
inline constexpr int32_t BlockBytes = BytesPerSecond;
// The stream player's buffer and the engine's render memory behind it: two blocks.
inline constexpr int32_t StreamBufferBytes = 2 * BlockBytes;

static_assert(BytesPerFrame == 4 && BytesPerSecond == 176400 && StreamBufferBytes == 352800);

}
