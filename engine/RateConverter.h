#pragma once
// TRateConverter: the streaming conversion of stereo 16-bit frames at a file's own rate to the
// output rate (OutputFormat::Rate), with libsoxr's high-quality recipe. One converter follows one
// stream from block to block and across loop jumps, so that its filter history carries over and a
// join is as seamless as the source is; it is cleared only where the stream really breaks (a seek,
// a new start after the end).
#include <cstddef>
#include <cstdint>
#include <memory>

struct soxr;

class TRateConverter {
public:
    // Throws std::runtime_error when libsoxr refuses the rate.
    explicit TRateConverter(double inputRate);
    ~TRateConverter();
    TRateConverter(const TRateConverter&) = delete;
    TRateConverter& operator=(const TRateConverter&) = delete;

    // Takes up to inFrames stereo frames from in and writes up to outFrames to out; returns the
    // frames written and sets inUsed. in may hold no frames: what is already inside then comes out.
    size_t Process(const int16_t* in, size_t inFrames, size_t& inUsed, int16_t* out, size_t outFrames);
    // The input has ended: writes what is still inside (at most outFrames; call again for more).
    size_t Flush(int16_t* out, size_t outFrames);
    // Output frames taken in but not yet given out.
    double Delay() const;
    // Forgets everything taken in: the next frame starts a fresh signal.
    void Clear();

private:
    struct Closer {
        void operator()(soxr* s) const;
    };
    std::unique_ptr<soxr, Closer> Soxr;
};
