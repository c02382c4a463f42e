#pragma once
// TLoopJoin: how the join of a loop sounds, measured on what the player renders there.
//
// A join is seamless when two things hold. The sound at the join matches: the squared difference
// over the frames after the jump, relative to the energy of the piece there, in dB, below 5 kHz.
// And the music after the jump is the music the piece plays after the loop's end, over a stretch
// long enough to hear (a second of sound where the piece has it): the same difference over that
// stretch, and the shift that lines the two up best, which must be none. A join in a silence or a
// pause matches trivially, so the stretch is extended over silence until a second of sound has
// been compared. Where the piece ends too soon after the loop's end, what leads up to the end is
// compared with what leads up to the start for the rest. Each sound is rendered by the engine at
// the output rate, so a converted stream (48000 Hz, say) is judged with its resampling, and the
// jump lands where playback lands it.
#include "OggDataLib.h"

#include <cstdint>
#include <string>
#include <vector>

class TLoopJoin {
public:
    // A join scoring above this is audible. A join that does not line up scores near 0 dB (the
    // two sounds unrelated), one two frames off some -12 dB on music. A join that lines up
    // exactly still differs by the encoder's own noise, which the two places of the piece carry
    // independently: -25 dB and below on music at moderate quality, up to -15 dB on pure noise,
    // which the encoder keeps only by its spectrum.
    static constexpr double AudibleDb = -15.0;
    // The lowest score given: the join is identical to the straight sound (within this).
    static constexpr double FloorDb = -120.0;
    // Frames at the output rate over which the sound at the join is judged.
    static constexpr int32_t SideFrames = 2048;
    // Seconds of sound (not silence) over which the music after the jump is compared, where the
    // piece has them, and the most seconds rendered on each side to find them.
    static constexpr double MusicSeconds = 1.0;
    static constexpr double MaxSeconds = 8.0;
    // The music after the jump lined up best this many frames (of the stream's own rate) or more
    // away from where it plays: the loop's length is off by that much.
    static constexpr double LateFramesHeard = 1.5;
    // A join that continues the music: a burst the predictor misses at most this far above what
    // it misses around the join, and band levels that step at most this much more than the
    // music's own change there.
    static constexpr double ClickHeardDb = 6.0;
    static constexpr double StepHeardDb = 4.0;
    // Seconds either way over which a start that continues the music better is looked for.
    static constexpr double ShiftSeconds = 0.5;

    struct TScore {
        double Db = 0.0;        // the worse of the two below: what decides the verdict
        double JoinDb = 0.0;    // the sound at the join
        double MusicDb = 0.0;   // the music over the compared stretch
        double SoundSeconds = 0.0;  // sound (not silence) compared, at the output rate
        // How far the music after the jump is off, in frames of the stream's own rate: positive
        // when the loop ends that much too late. Off counts only when shifting it back by as
        // much makes the two sounds clearly closer.
        double LateFrames = 0.0;
        bool LateAtLeast = false;  // the best shift was the farthest tried: off by as much or more
        bool Off = false;
        // A loop whose end is at (or within a second and a half of) the file's end has no music after its
        // end to compare with: its join is judged by how it continues the music. ClickDb and
        // StepDb are how far the join exceeds what the music does on its own there (see
        // TJoinContinuity), ContinueCost how badly the sound after the jump follows the sound
        // before it; the join is seamless by either the comparison above or these.
        bool AtEnd = false;
        bool Continues = false;
        double ClickDb = 0.0;
        double StepDb = 0.0;
        double ContinueCost = 0.0;
        // False when the entry never jumps, or when there is nothing but silence (or nothing at
        // all) to compare on either side; Why then says which.
        bool Judged = false;
        bool NeverJumps = false;
        std::string Why;
        int64_t StartFrame = -1;  // frames at the stream's own rate where playback lands
        int64_t EndFrame = -1;    // and where it jumps; -1 for a time that names none
        bool Seamless() const { return Judged && !Off && (Db <= AudibleDb || Continues); }
        // Seamless by the music itself: what follows (or leads up to) the jump is what the piece
        // plays there.
        bool Repeats() const { return Judged && !Off && Db <= AudibleDb; }
    };

    // Why a file cannot be looked at: missing, empty, neither an Ogg stream nor a container of
    // one; empty when it can.
    static std::string Refusal(const std::string& fileName);
    // Opens the file (loading the decoder first); throws std::runtime_error with the message for
    // a file that cannot be read, is no Ogg Vorbis stream or holds nothing to render.
    explicit TLoopJoin(std::string fileName);

    int32_t Rate() const { return rate_; }
    int64_t TotalFrames() const { return total_; }
    bool Container() const { return container_; }
    const TOggLoop* Loops() const { return loops_; }
    // The Ogg stream of the file, without the container header it may have.
    std::vector<uint8_t> OggBytes() const;

    // Seconds of sound over which the music after the jump must match (MusicSeconds unless set),
    // and whether a join that is off is searched for the shift that mends it (the default).
    void SetMusicSeconds(double seconds) { musicSeconds_ = seconds; }
    void SetShiftSearch(bool on) { shiftSearch_ = on; }

    // The score of a loop that jumps at `entry.LoopEnd` to `entry.LoopStart`.
    TScore Score(const TOggLoop& entry) const;
    // The whole piece played straight through, interleaved stereo at the output rate.
    std::vector<int16_t> RenderAll() const;

private:
    struct TTally;
    // Compares the frames before (backward) or after the jump of the looped render with the
    // reference, both low-passed, from the frame `from` to `to` of the two renders.
    void Compare(const std::vector<int16_t>& played, const std::vector<int16_t>& reference, int64_t from,
                 int64_t to, bool backward, TTally& tally) const;
    // The verdict of a comparison with the music that should follow the jump.
    static void Conclude(const TTally& tally, double toOut, TScore& score);
    // The join of a loop whose end is at the file's end, judged by how it continues the music,
    // and the start that would continue it best within ShiftSeconds.
    void JudgeContinuation(const TOggLoop& entry, int64_t s, int64_t e, TScore& score) const;
    // Where the music after the jump plays after the end, within ShiftSeconds: the shift that
    // mends a join whose music lines up elsewhere.
    void FindShift(int64_t s, int64_t e, TScore& score) const;
    // frames frames at the output rate, from the stream's frame `from`, with the entry as the only
    // loop (or none).
    std::vector<int16_t> Render(const TOggLoop* entry, int64_t from, int64_t frames) const;
    bool Converted() const { return rate_ != OutputFormat::Rate; }

    std::string file_;
    int32_t rate_ = OutputFormat::Rate;
    int64_t total_ = 0;
    bool container_ = false;
    int64_t dataStart_ = 0;
    float totalTime_ = 0.0f;
    TOggLoop loops_[16]{};
    double musicSeconds_ = MusicSeconds;
    bool shiftSearch_ = true;
};
