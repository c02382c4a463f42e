#include "DemoPiece.h"

#include "DemoReverb.h"
#include "DemoScore.h"
#include "DemoSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int Rate = TDemoSynth::Rate;
constexpr int64_t RingFrames = static_cast<int64_t>(TDemoSynth::LongestRing * Rate);
constexpr int64_t CrossFrames = Rate * 3 / 10;  // the intro's last 0.3 s blends into the loop's end

TDemoBus RenderNotes(const std::vector<TDemoNote>& notes, int64_t frames) {
    TDemoBus bus(frames);
    for (const TDemoNote& n : notes) TDemoSynth::Render(n, bus);
    return bus;
}

// Folds everything beyond `period` frames back onto the start, round and round.
std::vector<float> Fold(const std::vector<float>& in, int64_t period) {
    std::vector<float> out(static_cast<size_t>(period) * 2, 0.0f);
    for (size_t i = 0; i < in.size(); ++i) out[i % out.size()] += in[i];
    return out;
}

}  // namespace

const int64_t TDemoPiece::IntroFrames = static_cast<int64_t>(TDemoScore::IntroBars * TDemoScore::Bar * Rate);
const int64_t TDemoPiece::LoopFrames = static_cast<int64_t>(TDemoScore::LoopBars * TDemoScore::Bar * Rate);
const int64_t TDemoPiece::OutroFrames = 2 * Rate;

std::vector<float> TDemoPiece::LoopPeriod() {
    const TDemoBus bus = RenderNotes(TDemoScore::Loop(), LoopFrames + RingFrames);
    std::vector<float> loop = Fold(bus.Dry, LoopFrames);
    // The room hears the periodic send three times over and the last time is kept: by then its
    // state has settled into the period.
    const std::vector<float> send = Fold(bus.Send, LoopFrames);
    TDemoReverb room;
    std::vector<float> wet;
    for (int pass = 0; pass < 3; ++pass) room.Process(send, wet);
    for (size_t i = 0; i < loop.size(); ++i) loop[i] += wet[i];
    return loop;
}

std::vector<float> TDemoPiece::LoopPlayedThrough(int periods) {
    std::vector<TDemoNote> notes;
    const std::vector<TDemoNote> one = TDemoScore::Loop();
    for (int p = 0; p < periods; ++p) {
        for (TDemoNote n : one) {
            n.Start += static_cast<double>(p * LoopFrames) / Rate;
            notes.push_back(n);
        }
    }
    const TDemoBus bus = RenderNotes(notes, periods * LoopFrames);
    TDemoReverb room;
    std::vector<float> wet;
    room.Process(bus.Send, wet);
    std::vector<float> out = bus.Dry;
    for (size_t i = 0; i < out.size(); ++i) out[i] += wet[i];
    return out;
}

TDemoPiece TDemoPiece::Make() {
    const std::vector<float> loop = LoopPeriod();

    // The intro, its room starting from silence.
    const TDemoBus introBus = RenderNotes(TDemoScore::Intro(), IntroFrames + RingFrames);
    std::vector<float> introRoom;
    TDemoReverb room;
    room.Process(introBus.Send, introRoom);
    std::vector<float> intro(static_cast<size_t>(IntroFrames) * 2);
    for (size_t i = 0; i < intro.size(); ++i) intro[i] = introBus.Dry[i] + introRoom[i];
    // Its last bar plays the notes of the loop's last bar; blend into the loop's own ending there,
    // so the first entry into the loop is the same seam as every later one.
    for (int64_t f = 0; f < CrossFrames; ++f) {
        const double w = 0.5 - 0.5 * std::cos(std::numbers::pi * (static_cast<double>(f) + 0.5) / CrossFrames);
        for (int ch = 0; ch < 2; ++ch) {
            const size_t ii = static_cast<size_t>(IntroFrames - CrossFrames + f) * 2 + ch;
            const size_t li = static_cast<size_t>(LoopFrames - CrossFrames + f) * 2 + ch;
            intro[ii] = static_cast<float>((1.0 - w) * intro[ii] + w * loop[li]);
        }
    }

    TDemoPiece piece;
    piece.LoopStartFrame = IntroFrames;
    piece.LoopEndFrame = IntroFrames + LoopFrames;
    std::vector<float>& pcm = piece.Pcm;
    pcm = intro;
    pcm.insert(pcm.end(), loop.begin(), loop.end());
    // Heard only by a player that does not loop: the loop's start again, fading out.
    for (int64_t f = 0; f < OutroFrames; ++f) {
        const double g = 0.5 + 0.5 * std::cos(std::numbers::pi * static_cast<double>(f) / OutroFrames);
        for (int ch = 0; ch < 2; ++ch) pcm.push_back(static_cast<float>(g * loop[static_cast<size_t>(f) * 2 + ch]));
    }

    double peak = 0.0;
    for (float s : pcm) peak = std::max(peak, static_cast<double>(std::abs(s)));
    piece.Gain = peak > 0.0 ? Peak / peak : 1.0;
    for (float& s : pcm) s = static_cast<float>(s * piece.Gain);
    return piece;
}
