#pragma once
// TDemoSynth: the voices of the demo piece, rendered into a stereo dry bus and a reverb send.
#include <cstddef>
#include <cstdint>
#include <vector>

enum class TDemoVoice { Pad, Pluck, Bell, Bass, Kick, Snare, Hat };

struct TDemoNote {
    double Start;     // seconds from the start of the buffer
    double Length;    // seconds the key is held (releases ring on after it)
    int Midi;         // pitch; ignored by the drums
    double Velocity;  // 0 .. 1
    double Pan;       // -1 left .. 1 right
    TDemoVoice Voice;
    uint32_t Seed = 0;  // the noise of the drums; equal seeds sound alike wherever the note falls
};

// Interleaved stereo float buffers of one length.
struct TDemoBus {
    std::vector<float> Dry;
    std::vector<float> Send;
    explicit TDemoBus(int64_t frames) : Dry(static_cast<std::size_t>(frames) * 2), Send(static_cast<std::size_t>(frames) * 2) {}
    int64_t Frames() const { return static_cast<int64_t>(Dry.size() / 2); }
};

class TDemoSynth {
public:
    static constexpr int Rate = 44100;
    // How long any voice may ring after its key is released: the tail every buffer must leave room for.
    static constexpr double LongestRing = 4.0;

    // Adds one note into the bus; the parts of it beyond the bus's end are dropped.
    static void Render(const TDemoNote& note, TDemoBus& bus);
    static double MidiToHz(int midi);
};
