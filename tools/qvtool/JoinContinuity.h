#pragma once
// TJoinContinuity: whether the sound after a jump continues the sound before it, judged from the
// two sides alone. A loop that ends where its file ends has no music after its end to compare
// with what follows the jump, so the join is judged the way a listener hears it: by whether the
// waveform goes on as it was going (a click is a burst that a predictor fitted on the sound
// before the join cannot foresee, far above what it misses elsewhere), and whether the spectrum
// changes across the join no more than the music changes on its own either side of it.
//
// Every sound is interleaved 16-bit stereo; positions are frames of it.
#include <cstdint>
#include <vector>

class TJoinContinuity {
public:
    // The predictor: its order and the frames before a join it is fitted on.
    static constexpr int32_t Order = 32;
    static constexpr int32_t FitFrames = 2048;
    // Frames after a join in which a click shows, and frames around it that measure what the
    // predictor misses anyway.
    static constexpr int32_t SpikeFrames = 16;
    static constexpr int32_t AroundFrames = 512;
    // The windows whose band levels are compared across a join.
    static constexpr int32_t BandWindow = 4096;
    // Frames of the sound after a place that ContinuationCost predicts.
    static constexpr int32_t ContinueFrames = 1024;

    // Frames a sound needs before and after a join for ClickDb and StepDb.
    static constexpr int64_t NeedBefore = 2 * BandWindow;
    static constexpr int64_t NeedAfter = 2 * BandWindow;

    // How much more the predictor misses right after `join` than around it, in dB (0 for a
    // join the predictor follows as well as the music elsewhere).
    static double ClickDb(const std::vector<int16_t>& sound, int64_t join);
    // How much more the band levels change across `join` than between the windows either side
    // of it, in dB of mean level difference (at most 0 for a join no different from its
    // surroundings).
    static double StepDb(const std::vector<int16_t>& sound, int64_t join);

    // For each place p from `from` to `to` (exclusive) of `head`: how far the ContinueFrames
    // frames of head from p are from the end of `tail` (before `tailEnd`) carried on by the
    // predictor fitted there: their weighted squared difference relative to their energy, 0 for
    // a head that goes on exactly as the tail rings on, about 1 for unrelated sound. The place
    // where a tail goes on best.
    static std::vector<double> ContinuationCost(const std::vector<int16_t>& tail, int64_t tailEnd,
                                                const std::vector<int16_t>& head, int64_t from, int64_t to);

    // ContinuationCost for every place from 0 to `to` (exclusive) of `sound` at once, through
    // the FFT: the places a tail may go on into, over a whole piece.
    static std::vector<double> ContinuationCosts(const std::vector<int16_t>& tail, int64_t tailEnd,
                                                 const std::vector<int16_t>& sound, int64_t to);

    // The shift l within [-reach, reach] for which `b` from bAt + l matches `a` from aAt best over
    // `frames` frames, and how well: their squared difference relative to their energy (0 the
    // same sound, 1 unrelated). Coarsely by a cross-correlation through the FFT, then exactly
    // around its best. b must hold frames bAt - reach .. bAt + reach + frames.
    struct TLag {
        int64_t Shift = 0;
        double Share = 1.0;
        double ShareAtZero = 1.0;
    };
    static TLag BestLag(const std::vector<int16_t>& a, int64_t aAt, const std::vector<int16_t>& b, int64_t bAt,
                        int64_t frames, int64_t reach);

private:
    // The tail carried on by its predictor, interleaved stereo, ContinueFrames frames, and the
    // weights of its frames.
    static std::vector<double> Guess(const std::vector<int16_t>& tail, int64_t tailEnd);
    static std::vector<double> Weights();
    // Linear-prediction coefficients a[1..Order] (a[0] unused) of one channel of frames
    // [from, from + FitFrames), Hann-windowed, by the autocorrelation method.
    static std::vector<double> Fit(const std::vector<int16_t>& sound, int64_t from, int channel);
    // Log band levels of the window of BandWindow frames from `from`, both channels together.
    static std::vector<double> Bands(const std::vector<int16_t>& sound, int64_t from);
};
