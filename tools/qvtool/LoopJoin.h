#pragma once
// TLoopJoin: how the join of a loop sounds, measured on what the player renders there.
//
// The join score compares the sound played after the jump with what the piece plays after the
// loop's end when it is not looped: the squared difference over the frames after the jump,
// relative to the energy of the piece there, in dB, below 5 kHz. A loop that ends at the piece's
// last frame has nothing after it; there what leads up to the end is compared with what leads
// up to the start. Each sound is rendered by the engine at the output rate, so a converted stream
// (48000 Hz, say) is judged with its resampling, and the jump lands where playback lands it.
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
    // Frames at the output rate compared on each side of the jump.
    static constexpr int32_t SideFrames = 2048;

    struct TScore {
        double Db = 0.0;
        // False when there is nothing to compare on either side (a loop from the piece's very
        // start to its very end), or the entry never jumps.
        bool Judged = false;
        int64_t StartFrame = -1;  // frames at the stream's own rate where playback lands
        int64_t EndFrame = -1;    // and where it jumps; -1 for a time that names none
        bool Seamless() const { return Judged && Db <= AudibleDb; }
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

    // The score of a loop that jumps at `entry.LoopEnd` to `entry.LoopStart`.
    TScore Score(const TOggLoop& entry) const;
    // The whole piece played straight through, interleaved stereo at the output rate.
    std::vector<int16_t> RenderAll() const;

private:
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
};
