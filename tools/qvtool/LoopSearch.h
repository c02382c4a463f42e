#pragma once
// TLoopSearch: finds where a piece repeats itself, as loop candidates: a start frame and a length
// such that the sound around start + length continues as the sound around start does.
//
// First coarsely, on a spectral envelope of the piece (band levels every 1024 frames, or some
// multiple of that for a piece of more than a few minutes): every lag is compared with the piece
// shifted by it, and the lags under which a long stretch of the piece matches are kept. Then each lag is refined to the exact frame by the least squared difference
// between the sound at the stretch and the sound a lag later (a cross-correlation through the
// FFT), and the join is put where that difference is least relative to the sound around it.
#include <cstddef>
#include <cstdint>
#include <vector>

class TLoopSearch {
public:
    // Frames between two transforms of the envelope, and the length of each.
    static constexpr int32_t Hop = 1024;
    static constexpr int32_t Window = 2048;
    // Frames either side of a join over which it is judged when the join is placed.
    static constexpr int32_t JoinSide = 2048;

    struct TCandidate {
        int64_t Start = 0;    // the frame playback jumps back to
        int64_t Length = 0;   // frames from there to the jump
        double Repeated = 0;  // frames of the piece the coarse search found repeated under this lag
        double Db = 0;        // the squared difference across the join relative to the sound there
    };

    // stereo: interleaved 16-bit stereo frames at `rate`. Loops shorter than minFrames are not
    // looked for.
    TLoopSearch(const std::vector<int16_t>& stereo, int32_t rate, int64_t minFrames);

    // Frames the music must go on repeating after a join (unless the repeat runs to the end of
    // the piece, or for a loop shorter than twice that, half a pass of it): the join is placed that
    // far before the repeated stretch ends.
    void SetMatchFrames(int64_t frames) { matchFrames_ = frames; }

    // The best candidates (longest repeated stretch first), at most `count`, of different lengths.
    std::vector<TCandidate> Find(size_t count);

private:
    struct TLag {
        int32_t Lag = 0;  // in envelope steps
        int32_t From = 0;  // the matching stretch, envelope steps of the earlier sound
        int32_t To = 0;
    };
    void MakeEnvelope();
    std::vector<TLag> CoarseLags(size_t count) const;
    // The exact lag in frames near lag.Lag steps; 0 when the sound there cannot say.
    int64_t RefineLag(const TLag& lag) const;
    // The best place for the join of a loop `length` frames long within the stretch.
    TCandidate PlaceJoin(const TLag& lag, int64_t length) const;
    int64_t Frames() const { return static_cast<int64_t>(stereo_.size() / 2); }
    float Sample(int64_t frame, int channel) const;

    const std::vector<int16_t>& stereo_;
    int32_t rate_;
    int64_t minFrames_;
    int64_t matchFrames_ = 0;
    int32_t bands_ = 0;
    int32_t steps_ = 0;
    int32_t step_ = Hop;  // frames an envelope step covers: Hop, or some Hops for a long piece
    std::vector<float> envelope_;  // steps_ x bands_, dB
};
