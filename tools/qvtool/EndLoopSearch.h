#pragma once
// TEndLoopSearch: finds loops whose end is the end of the file (or of the music in it, before a
// fade or a silence), as games store loop music: the piece plays once to its end and goes on at
// a start point, and nothing in the file need repeat.
//
// Two kinds of start are looked for. Where the music before the start is the music before the
// end (an intro that leads into the loop as its last bars do), the bars before the end are
// compared with the bars before every start on a grid of the piece, by pitch classes (chroma)
// and loudness, as loop finders that score beat-aligned joins do; the best are lined up with the
// end to the frame. And where nothing leads up alike, the piece's own beginning (its first frame
// or its first sound), and the places whose sound continues the end's most closely. Every
// candidate is judged afterwards by TLoopJoin as playback renders it.
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class TEndLoopSearch {
public:
    // Frames between two analysis windows, and their length.
    static constexpr int32_t Hop = 2048;
    static constexpr int32_t Window = 4096;

    struct TCandidate {
        int64_t Start = 0;  // the frame playback jumps back to
        int64_t End = 0;    // the frame it jumps at (the first frame not played)
        // How alike the bars before the start and before the end are (1 the same, 0 unrelated);
        // -1 where the start has too little before it to compare.
        double Alike = -1.0;
    };

    // stereo: interleaved 16-bit stereo frames at 44100 Hz. Loops shorter than minFrames are
    // not looked for.
    TEndLoopSearch(const std::vector<int16_t>& stereo, int64_t minFrames);

    // The candidates, the most alike in turn with the beginnings and the continuations; at most
    // count.
    std::vector<TCandidate> Find(size_t count);

private:
    void Analyse();
    // The ends tried: the file's end, the end of its sound before a silence, and the strongest
    // onsets of its last second and a half (these marked true).
    std::vector<std::pair<int64_t, bool>> Ends() const;
    // How alike the bars before hops i and j are, over the context that both have.
    double Alike(int32_t i, int32_t j) const;
    // The mean band-level distance between the windows of hops i and j, dB.
    double BandDistance(int32_t i, int32_t j) const;
    int64_t Frames() const { return static_cast<int64_t>(stereo_.size() / 2); }

    const std::vector<int16_t>& stereo_;
    int64_t minFrames_;
    int32_t hops_ = 0;
    std::vector<float> bands_;     // hops_ x kBands, dB
    std::vector<float> chroma_;    // hops_ x 12, normalised
    std::vector<float> loudness_;  // hops_, dB
    std::vector<float> onset_;     // hops_, the rise of the band levels
};
