#pragma once
// A playback stream of our own on the PulseAudio server (or PipeWire's stand-in for it): 44100 Hz
// signed 16-bit stereo, with a quarter of a second in the server's hands, so that a server that
// answers late on a busy machine still has sound to play. Unlike a device reached through SDL, it
// says how much has been heard, and it can drop what it holds at once, which is what lets the
// mixer keep that much ahead and still pause, stop and seek within milliseconds.
//
// The stream lives on a thread of libpulse's: fill is called there, with the stream's lock held,
// whenever the server wants more, and lost once when the server or the stream goes away.
#include <cstdint>
#include <functional>
#include <memory>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

class TPulseOutput {
public:
    // fill(out, frames, heard): interleaved stereo to be played next; heard counts the frames
    // of the stream played so far (-1 while the server has not said yet).
    using TFill = std::function<void(int16_t* out, int frames, int64_t heard)>;
    using TLost = std::function<void()>;

    // Connects to the default server and sink; null when there is none, or it refused.
    static std::unique_ptr<TPulseOutput> Open(TFill fill, TLost lost);
    ~TPulseOutput();
    TPulseOutput(const TPulseOutput&) = delete;
    TPulseOutput& operator=(const TPulseOutput&) = delete;

    // Drops everything the server holds that it has not begun to play, then calls apply with
    // the stream's frame from which the next frames written are played (-1 when the server
    // could not say), before anything more is written. False, without calling apply, when the
    // stream is gone. Not from fill or lost.
    bool Flush(const std::function<void(int64_t kept)>& apply);

    // How much the server is asked to hold.
    static constexpr int TargetMs = 250;

private:
    TPulseOutput(TFill fill, TLost lost);
    bool Connect();
    bool Alive() const;
    void Write(size_t bytes);
    void ReportLoss();
    static void OnContextState(pa_context* context, void* self);
    static void OnStreamState(pa_stream* stream, void* self);
    static void OnWrite(pa_stream* stream, size_t bytes, void* self);
    // The answer to the question for the write index that follows a flush.
    static void OnFlushed(pa_stream* stream, int success, void* self);

    TFill fill_;
    TLost lost_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    // Under the stream's lock.
    bool ready_ = false;  // the stream was made: a failure from now on is a loss
    bool flushing_ = false;
    const std::function<void(int64_t)>* pendingApply_ = nullptr;  // a flush's, until it has run
    bool lossReported_ = false;
    bool raised_ = false;  // the stream's thread has been given the device thread's priority
};
