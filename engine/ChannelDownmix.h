#pragma once
// TChannelDownmix: 16-bit frames of one to eight channels in Vorbis channel order mixed to stereo.
//   1: M                      5: FL C FR RL RR
//   2: L R                    6: FL C FR RL RR LFE
//   3: L C R                  7: FL C FR SL SR RC LFE
//   4: FL FR RL RR            8: FL C FR SL SR RL RR LFE
// The centre goes into both sides at -3 dB, each surround into its own side at -3 dB, a rear
// centre into both at -3 dB. The low-frequency channel is left out: it repeats bass the main
// channels carry, and on two speakers it only muddies them. Each side's gains are then scaled to
// sum to one, so full-scale input cannot clip; one and two channels pass unchanged.
#include <array>
#include <cstdint>

class TChannelDownmix {
public:
    static constexpr int MaxChannels = 8;

    // False for a channel count it cannot mix (0 or more than MaxChannels).
    static bool Supports(int channels) { return channels >= 1 && channels <= MaxChannels; }

    explicit TChannelDownmix(int channels);
    // frames frames of the source layout at in, as interleaved stereo at out (not overlapping in).
    void Mix(const int16_t* in, int32_t frames, int16_t* out) const;

private:
    int Channels;
    std::array<float, MaxChannels> Left{};
    std::array<float, MaxChannels> Right{};
};
