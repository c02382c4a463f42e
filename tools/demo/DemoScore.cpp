#include "DemoScore.h"

#include <utility>

namespace {

using V = TDemoVoice;

struct TChord {
    double Beat;              // start within the bar
    double Beats;             // length
    int Bass;                 // bass note
    std::vector<int> Tones;   // pad voicing, low to high
};

// MIDI numbers: C2 36, C3 48, C4 60, C5 72.
const std::vector<std::vector<TChord>> LoopChords = {
    {{0, 4, 41, {53, 57, 60, 64}}},                          // Fmaj7
    {{0, 4, 40, {52, 55, 59, 62}}},                          // Em7
    {{0, 4, 38, {50, 53, 57, 60}}},                          // Dm7
    {{0, 4, 36, {48, 52, 55, 59}}},                          // Cmaj7
    {{0, 4, 41, {53, 57, 60, 64}}},                          // Fmaj7
    {{0, 2, 40, {52, 55, 59, 62}}, {2, 2, 45, {55, 57, 61, 64}}},  // Em7, A7
    {{0, 4, 38, {50, 53, 57, 60, 64}}},                      // Dm9
    {{0, 2, 43, {55, 60, 62, 65}}, {2, 2, 43, {55, 59, 62, 65}}},  // G7sus4, G7
};

const std::vector<std::vector<TChord>> IntroChords = {
    {{0, 4, 36, {48, 52, 55, 59}}},  // Cmaj7
    {{0, 4, 33, {45, 48, 52, 55}}},  // Am7
    {{0, 4, 41, {53, 57, 60, 64}}},  // Fmaj7
};

struct TMelodyNote {
    int Bar;
    double Beat;
    double Beats;
    int Midi;
};

const std::vector<TMelodyNote> Melody = {
    {0, 0, 1.5, 76}, {0, 1.5, 0.5, 79}, {0, 2, 1, 81}, {0, 3, 1, 79},
    {1, 0, 1.5, 79}, {1, 1.5, 0.5, 76}, {1, 2, 2, 74},
    {2, 0, 1, 77}, {2, 1, 0.5, 76}, {2, 1.5, 0.5, 74}, {2, 2, 1.5, 72}, {2, 3.5, 0.5, 69},
    {3, 0, 3, 72}, {3, 3, 0.5, 71}, {3, 3.5, 0.5, 72},
    {4, 0, 1.5, 76}, {4, 1.5, 0.5, 79}, {4, 2, 1, 84}, {4, 3, 1, 81},
    {5, 0, 1.5, 79}, {5, 1.5, 0.5, 76}, {5, 2, 1, 76}, {5, 3, 1, 73},
    {6, 0, 1, 74}, {6, 1, 0.5, 76}, {6, 1.5, 0.5, 77}, {6, 2, 2, 81},
    {7, 0, 1.5, 79}, {7, 1.5, 0.5, 77}, {7, 2, 1, 74}, {7, 3, 1, 71},
};

double At(int bar, double beat) { return bar * TDemoScore::Bar + beat * TDemoScore::Beat; }

// Pad, bass and the eighth-note pluck arpeggio of one bar.
void Harmony(std::vector<TDemoNote>& out, int bar, const std::vector<TChord>& chords, bool bass, bool pluck) {
    static const int Pattern[8] = {0, 1, 2, 3, 2, 1, 2, 3};
    for (const TChord& c : chords) {
        for (std::size_t i = 0; i < c.Tones.size(); ++i) {
            const double pan = -0.5 + static_cast<double>(i) / (c.Tones.size() - 1);
            out.push_back({At(bar, c.Beat), c.Beats * TDemoScore::Beat, c.Tones[i], 0.06, pan, V::Pad});
        }
        if (bass) {
            out.push_back({At(bar, c.Beat), 1.4 * TDemoScore::Beat, c.Bass, 0.32, 0.0, V::Bass});
            out.push_back({At(bar, c.Beat + 1.5), 0.4 * TDemoScore::Beat, c.Bass, 0.24, 0.0, V::Bass});
            if (c.Beats >= 4) out.push_back({At(bar, c.Beat + 2.5), 1.3 * TDemoScore::Beat, c.Bass + 12, 0.2, 0.0, V::Bass});
        }
        if (pluck) {
            for (int e = 0; e < static_cast<int>(c.Beats * 2); ++e) {
                const int step = static_cast<int>(c.Beat * 2) + e;
                const int tone = c.Tones[Pattern[step % 8] % c.Tones.size()] + 12;
                const double vel = (step % 2 == 0 ? 0.16 : 0.11);
                const double pan = (step % 2 == 0) ? -0.35 : 0.35;
                out.push_back({At(bar, step * 0.5), 0.4 * TDemoScore::Beat, tone, vel, pan, V::Pluck});
            }
        }
    }
}

// Kick, brushed snare on the back beats and soft eighth hats; the last bar of the loop ends with a
// small fill that leads back to its first bar. Only beats from `fromBeat` on are written.
// `pattern` names the bar of the loop whose drums these are, so a repeated bar sounds the same.
void Drums(std::vector<TDemoNote>& out, int bar, int pattern, bool fill, double fromBeat) {
    auto add = [&](double beat, V voice, double vel, double pan) {
        const auto seed = static_cast<uint32_t>(pattern * 64 + static_cast<int>(beat * 4) * 4 + static_cast<int>(voice));
        if (beat >= fromBeat) out.push_back({At(bar, beat), 0.1, 60, vel, pan, voice, seed});
    };
    add(0, V::Kick, 0.55, 0.0);
    add(2.5, V::Kick, 0.45, 0.0);
    add(1, V::Snare, 0.22, 0.1);
    if (!fill) {
        add(3, V::Snare, 0.22, 0.1);
    } else {
        add(3, V::Snare, 0.16, 0.1);
        add(3.25, V::Snare, 0.12, 0.05);
        add(3.5, V::Snare, 0.18, 0.0);
        add(3.75, V::Snare, 0.22, -0.05);
    }
    for (int e = 0; e < 8; ++e) add(e * 0.5, V::Hat, e % 2 == 0 ? 0.09 : 0.06, 0.3);
}

void Bells(std::vector<TDemoNote>& out, int bar, int asBar) {
    for (const TMelodyNote& m : Melody) {
        if (m.Bar == bar) out.push_back({At(asBar, m.Beat), m.Beats * TDemoScore::Beat, m.Midi, 0.22, 0.15, V::Bell});
    }
}

}  // namespace

std::vector<TDemoNote> TDemoScore::Loop() {
    std::vector<TDemoNote> out;
    for (int bar = 0; bar < LoopBars; ++bar) {
        Harmony(out, bar, LoopChords[bar], true, true);
        Drums(out, bar, bar, bar == LoopBars - 1, 0.0);
        Bells(out, bar, bar);
    }
    return out;
}

std::vector<TDemoNote> TDemoScore::Intro() {
    std::vector<TDemoNote> out;
    // Pad alone, then the arpeggio, then the bass: a slow opening.
    Harmony(out, 0, IntroChords[0], false, false);
    Harmony(out, 1, IntroChords[1], false, true);
    Harmony(out, 2, IntroChords[2], true, true);
    // The last intro bar is the loop's last bar; its drums come in only with the fill.
    const int last = LoopBars - 1;
    Harmony(out, IntroBars - 1, LoopChords[last], true, true);
    Drums(out, IntroBars - 1, last, true, 3.0);
    Bells(out, last, IntroBars - 1);
    return out;
}
