// TChannelDownmix: the stereo gains of each Vorbis layout.
#include "ChannelDownmix.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kHalfPower = 0.70710678f;  // -3 dB

// Where each channel of a layout goes: 'L' left, 'R' right, 'C' both at -3 dB, 'l' / 'r' its
// side at -3 dB, '-' nowhere.
constexpr const char* kLayouts[] = {"", "C", "LR", "LCR", "LRlr", "LCRlr", "LCRlr-", "LCRlrC-", "LCRlrlr-"};

}

TChannelDownmix::TChannelDownmix(int channels) : Channels(std::clamp(channels, 0, MaxChannels))
{
    const char* layout = kLayouts[Channels];
    for (int c = 0; c < Channels; ++c) {
        switch (layout[c]) {
        case 'L': Left[c] = 1.0f; break;
        case 'R': Right[c] = 1.0f; break;
        case 'l': Left[c] = kHalfPower; break;
        case 'r': Right[c] = kHalfPower; break;
        case 'C':
            Left[c] = Right[c] = Channels == 1 ? 1.0f : kHalfPower;
            break;
        default: break;
        }
    }
    if (Channels <= 2)
        return;
    float sumL = 0.0f, sumR = 0.0f;
    for (int c = 0; c < Channels; ++c) {
        sumL += Left[c];
        sumR += Right[c];
    }
    for (int c = 0; c < Channels; ++c) {
        Left[c] /= sumL;
        Right[c] /= sumR;
    }
}

void TChannelDownmix::Mix(const int16_t* in, int32_t frames, int16_t* out) const
{
    for (int32_t i = 0; i < frames; ++i) {
        const int16_t* f = in + static_cast<size_t>(i) * Channels;
        float l = 0.0f, r = 0.0f;
        for (int c = 0; c < Channels; ++c) {
            l += Left[c] * f[c];
            r += Right[c] * f[c];
        }
        out[2 * i] = static_cast<int16_t>(std::clamp(std::lrint(l), -32768L, 32767L));
        out[2 * i + 1] = static_cast<int16_t>(std::clamp(std::lrint(r), -32768L, 32767L));
    }
}
