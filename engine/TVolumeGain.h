#pragma once
// TVolumeGain: the fixed-point arithmetic of the volume stage, where the fade level, the master
// volume and the channel volume meet the samples.
//
// A gain is 16.16 fixed point: 65536 passes a sample as it is. The fade's level counts in 256
// steps (the level divided by FadeUnit), master and channel volumes in 255ths, so all three at
// full make exactly 65536 and the output at full volume is the decode, sample for sample. Any
// other gain rounds each product to the nearest sample, halves away from zero, so that a sound
// and its negative scale alike and nothing drifts toward minus infinity.
#include <algorithm>
#include <cstdint>

class TVolumeGain {
public:
    // The fade level that is one of its 256 steps: 128 * 44100.
    static constexpr int32_t FadeUnit = 5644800;
    static constexpr int64_t Unity = 65536;
    // Master and channel volumes at full.
    static constexpr int64_t FullStep = 255;

    // The gain for a fade level (0 .. 256 * FadeUnit) and master and channel volumes in 255ths
    // (either may lie beyond 255, or below 0, as the setters allow).
    static constexpr int64_t Gain(int32_t fadeLevel, int32_t master, int32_t channel)
    {
        const int64_t steps = fadeLevel / FadeUnit;
        const int64_t num = steps * master * channel * (Unity / 256);
        return RoundDiv(num, FullStep * FullStep);
    }

    // A sample scaled by gain, rounded to the nearest; clamped to the 16-bit range, which only a
    // gain above unity can leave.
    static constexpr int16_t Scale(int32_t sample, int64_t gain)
    {
        // RoundDiv by Unity without a branch, so that a block's loop can be vectorised: the
        // shift floors, and below zero one less is added, so that a half goes down there as it
        // goes up above zero.
        const int64_t p = sample * gain;
        const int64_t v = (p + Unity / 2 - (p < 0 ? 1 : 0)) >> 16;
        return static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
    }

private:
    // num / den (den > 0) rounded to the nearest, halves away from zero.
    static constexpr int64_t RoundDiv(int64_t num, int64_t den)
    {
        return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
    }
};
