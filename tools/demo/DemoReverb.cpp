#include "DemoReverb.h"

namespace {
constexpr float Feedback = 0.8f;
constexpr float Damp = 0.35f;
constexpr float AllPassGain = 0.5f;
constexpr float InputGain = 0.06f;
// Delay lengths in frames, mutually prime; the right channel's are a little longer for width.
constexpr size_t CombLengths[4] = {1557, 1617, 1491, 1422};
constexpr size_t AllPassLengths[2] = {556, 441};
constexpr size_t StereoSpread = 23;
}  // namespace

TDemoReverb::TDemoReverb() {
    for (int ch = 0; ch < 2; ++ch) {
        for (int i = 0; i < 4; ++i) Combs[ch][i].Line.assign(CombLengths[i] + ch * StereoSpread, 0.0f);
        for (int i = 0; i < 2; ++i) AllPasses[ch][i].Line.assign(AllPassLengths[i] + ch * StereoSpread, 0.0f);
    }
}

void TDemoReverb::Process(const std::vector<float>& in, std::vector<float>& out) {
    out.assign(in.size(), 0.0f);
    for (size_t i = 0; i + 1 < in.size(); i += 2) {
        // Both channels feed both sides a little, so a panned voice still fills the room.
        const float mono = 0.5f * (in[i] + in[i + 1]);
        for (int ch = 0; ch < 2; ++ch) {
            const float x = (0.6f * in[i + ch] + 0.4f * mono) * InputGain;
            float sum = 0.0f;
            for (TComb& c : Combs[ch]) {
                const float y = c.Line[c.At];
                c.Store = y * (1.0f - Damp) + c.Store * Damp;
                c.Line[c.At] = x + c.Store * Feedback;
                if (++c.At == c.Line.size()) c.At = 0;
                sum += y;
            }
            for (TAllPass& a : AllPasses[ch]) {
                const float buffered = a.Line[a.At];
                a.Line[a.At] = sum + buffered * AllPassGain;
                sum = buffered - sum;
                if (++a.At == a.Line.size()) a.At = 0;
            }
            out[i + ch] = sum;
        }
    }
}
