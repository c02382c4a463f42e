#include "DemoSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr double TwoPi = 2.0 * std::numbers::pi;

// A small deterministic noise source, so that every build writes the same piece.
class TNoise {
public:
    explicit TNoise(uint32_t seed) : State(seed ? seed : 1u) {}
    double Next() {
        State ^= State << 13;
        State ^= State >> 17;
        State ^= State << 5;
        return static_cast<double>(State) / 2147483648.0 - 1.0;
    }

private:
    uint32_t State;
};

// Linear attack from zero, so no voice starts with a step.
double Attack(double t, double seconds) { return t < seconds ? t / seconds : 1.0; }

// A raised-cosine release from 1 to 0 over `seconds`, starting at `from`.
double Release(double t, double from, double seconds) {
    if (t <= from) return 1.0;
    if (t >= from + seconds) return 0.0;
    return 0.5 + 0.5 * std::cos(std::numbers::pi * (t - from) / seconds);
}

struct TVoiceShape {
    double Ring;  // seconds rendered after the key's release
    double SendLevel;
};

TVoiceShape ShapeOf(TDemoVoice v) {
    switch (v) {
        case TDemoVoice::Pad: return {0.9, 0.45};
        case TDemoVoice::Pluck: return {0.6, 0.35};
        case TDemoVoice::Bell: return {2.6, 0.5};
        case TDemoVoice::Bass: return {0.12, 0.05};
        case TDemoVoice::Kick: return {0.5, 0.05};
        case TDemoVoice::Snare: return {0.35, 0.3};
        case TDemoVoice::Hat: return {0.12, 0.15};
    }
    return {0.5, 0.0};
}

// One sample of a voice at time t after its start (mono, before velocity and pan).
class TVoiceState {
public:
    TVoiceState(const TDemoNote& n, uint32_t seed) : Note(n), Hz(TDemoSynth::MidiToHz(n.Midi)), Noise(seed) {}

    double Sample(double t, int channel) {
        const double len = Note.Length;
        switch (Note.Voice) {
            case TDemoVoice::Pad: {
                // Soft triangle-like stack, each channel detuned a little the other way for width.
                const double detune = channel == 0 ? 0.9985 : 1.0015;
                const double f = Hz * detune;
                double s = 0.0;
                for (int k = 1; k <= 5; k += 2) s += std::sin(TwoPi * f * k * t) / (k * k);
                s += 0.35 * std::sin(TwoPi * f * 2.0 * t + 0.7);
                const double swell = 0.85 + 0.15 * std::sin(TwoPi * 0.5 * t);
                return s * swell * Attack(t, 0.35) * Release(t, len, ShapeOf(Note.Voice).Ring);
            }
            case TDemoVoice::Pluck: {
                // Harmonics that die away faster the higher they are: a warm nylon-like pluck.
                double s = 0.0;
                const double amps[] = {1.0, 0.5, 0.3, 0.18, 0.1};
                for (int k = 1; k <= 5; ++k) s += amps[k - 1] * std::sin(TwoPi * Hz * k * t) * std::exp(-t * (2.2 + 2.5 * k));
                return s * Attack(t, 0.003) * Release(t, len, ShapeOf(Note.Voice).Ring);
            }
            case TDemoVoice::Bell: {
                // Two-operator FM: a bright strike that mellows into a pure tone.
                const double index = 2.2 * std::exp(-t / 0.25) + 0.25;
                const double mod = std::sin(TwoPi * Hz * 3.5 * t);
                const double body = std::sin(TwoPi * Hz * t + index * mod);
                const double shimmer = 0.15 * std::sin(TwoPi * Hz * 2.0 * t) * std::exp(-t / 0.4);
                return (body + shimmer) * std::exp(-t / 1.1) * Attack(t, 0.002) *
                       Release(t, len + 1.8, ShapeOf(Note.Voice).Ring - 1.8);
            }
            case TDemoVoice::Bass: {
                const double s = std::sin(TwoPi * Hz * t) + 0.25 * std::sin(TwoPi * Hz * 2.0 * t) +
                                 0.08 * std::sin(TwoPi * Hz * 3.0 * t);
                const double env = (0.75 + 0.25 * std::exp(-t / 0.15)) * Attack(t, 0.006) *
                                   Release(t, len, ShapeOf(Note.Voice).Ring);
                return std::tanh(1.3 * s * env) / std::tanh(1.3);
            }
            case TDemoVoice::Kick: {
                // Pitch falls fast from a soft click to a round thump; the phase is integrated.
                const double f = 48.0 + 95.0 * std::exp(-t / 0.035);
                KickPhase += TwoPi * f / TDemoSynth::Rate * (channel == 0 ? 1.0 : 0.0);
                return std::sin(KickPhase) * std::exp(-t / 0.2) * Attack(t, 0.002);
            }
            case TDemoVoice::Snare: {
                // A soft brushed snare: coloured noise and a short body tone.
                if (channel == 0) {
                    const double w = Noise.Next();
                    Low += 0.35 * (w - Low);
                    Last = w - Low;
                }
                const double tone = 0.5 * std::sin(TwoPi * 185.0 * t) * std::exp(-t / 0.04);
                return (0.7 * Last * std::exp(-t / 0.09) + tone) * Attack(t, 0.0015);
            }
            case TDemoVoice::Hat: {
                if (channel == 0) {
                    const double w = Noise.Next();
                    Last = w - Prev;
                    Prev = w;
                }
                return 0.5 * Last * std::exp(-t / 0.028) * Attack(t, 0.001);
            }
        }
        return 0.0;
    }

private:
    TDemoNote Note;
    double Hz;
    TNoise Noise;
    double KickPhase = 0.0;
    double Low = 0.0;
    double Prev = 0.0;
    double Last = 0.0;
};

}  // namespace

double TDemoSynth::MidiToHz(int midi) { return 440.0 * std::pow(2.0, (midi - 69) / 12.0); }

void TDemoSynth::Render(const TDemoNote& note, TDemoBus& bus) {
    const TVoiceShape shape = ShapeOf(note.Voice);
    const int64_t first = std::llround(note.Start * Rate);
    const int64_t count = std::llround((note.Length + shape.Ring) * Rate);
    // Equal-power pan.
    const double angle = (std::clamp(note.Pan, -1.0, 1.0) + 1.0) * std::numbers::pi / 4.0;
    const double gain[2] = {std::cos(angle) * note.Velocity, std::sin(angle) * note.Velocity};
    TVoiceState voice(note, note.Seed * 2654435761u + 12345u);
    for (int64_t i = 0; i < count; ++i) {
        const int64_t frame = first + i;
        if (frame >= bus.Frames()) break;
        const double t = static_cast<double>(i) / Rate;
        for (int ch = 0; ch < 2; ++ch) {
            const double s = voice.Sample(t, ch);
            if (frame < 0) continue;
            const size_t at = static_cast<size_t>(frame) * 2 + ch;
            bus.Dry[at] += static_cast<float>(s * gain[ch]);
            bus.Send[at] += static_cast<float>(s * gain[ch] * shape.SendLevel);
        }
    }
}
