#include "TPulseOutput.h"

#include "DirectSound.h"
#include "TDirectSoundMixer.h"
#include "TThreadPriority.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {
constexpr size_t FrameBytes = DSOutputChannels * (DSOutputBits / 8);

// The server is woken to ask for more about every 25 ms: often enough that what is heard is
// known to within a refill's notice, rarely enough to cost nothing measurable.
constexpr int RequestMs = 25;

pa_sample_spec SampleFormat()
{
    return pa_sample_spec{PA_SAMPLE_S16LE, DSOutputRate, static_cast<uint8_t>(DSOutputChannels)};
}

// The stream's lock, taken and let go with the scope.
class TLocked {
public:
    explicit TLocked(pa_threaded_mainloop* mainloop) : mainloop_(mainloop) { pa_threaded_mainloop_lock(mainloop_); }
    ~TLocked() { pa_threaded_mainloop_unlock(mainloop_); }
    TLocked(const TLocked&) = delete;
    TLocked& operator=(const TLocked&) = delete;

private:
    pa_threaded_mainloop* mainloop_;
};
}

TPulseOutput::TPulseOutput(TFill fill, TLost lost) : fill_(std::move(fill)), lost_(std::move(lost)) {}

std::unique_ptr<TPulseOutput> TPulseOutput::Open(TFill fill, TLost lost)
{
    std::unique_ptr<TPulseOutput> output(new TPulseOutput(std::move(fill), std::move(lost)));
    if (!output->Connect()) {
        return nullptr;
    }
    return output;
}

bool TPulseOutput::Connect()
{
    mainloop_ = pa_threaded_mainloop_new();
    if (mainloop_ == nullptr) {
        return false;
    }
    pa_proplist* props = pa_proplist_new();
    if (props == nullptr) {
        return false;
    }
    // The program's own name (the player or qvtool), as the desktop's volume controls show it.
    pa_proplist_sets(props, PA_PROP_APPLICATION_NAME, program_invocation_short_name);
    pa_proplist_sets(props, PA_PROP_APPLICATION_ICON_NAME, "io.github.ostradivuvirar.OstraDivUvirar");
    pa_proplist_sets(props, PA_PROP_MEDIA_ROLE, "music");
    context_ = pa_context_new_with_proplist(pa_threaded_mainloop_get_api(mainloop_), nullptr, props);
    pa_proplist_free(props);
    if (context_ == nullptr) {
        return false;
    }
    pa_context_set_state_callback(context_, &TPulseOutput::OnContextState, this);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) {
        return false;
    }
    TLocked lock(mainloop_);
    if (pa_threaded_mainloop_start(mainloop_) < 0) {
        return false;
    }
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context_);
        if (state == PA_CONTEXT_READY) {
            break;
        }
        if (!PA_CONTEXT_IS_GOOD(state)) {
            return false;
        }
        pa_threaded_mainloop_wait(mainloop_);
    }
    const pa_sample_spec format = SampleFormat();
    stream_ = pa_stream_new(context_, "Music", &format, nullptr);
    if (stream_ == nullptr) {
        return false;
    }
    pa_stream_set_state_callback(stream_, &TPulseOutput::OnStreamState, this);
    pa_stream_set_write_callback(stream_, &TPulseOutput::OnWrite, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<uint32_t>(-1);
    attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(TargetMs * PA_USEC_PER_MSEC, &format));
    attr.prebuf = static_cast<uint32_t>(-1);
    attr.minreq = static_cast<uint32_t>(pa_usec_to_bytes(RequestMs * PA_USEC_PER_MSEC, &format));
    attr.fragsize = static_cast<uint32_t>(-1);
    // The whole quarter second counts, the sink's own buffer included, so that the server sets its
    // sink up to wake seldom enough to ride out a busy moment of its own.
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                                      PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_playback(stream_, nullptr, &attr, flags, nullptr, nullptr) < 0) {
        return false;
    }
    for (;;) {
        const pa_stream_state_t state = pa_stream_get_state(stream_);
        if (state == PA_STREAM_READY) {
            ready_ = true;
            return true;
        }
        if (!PA_STREAM_IS_GOOD(state)) {
            return false;
        }
        pa_threaded_mainloop_wait(mainloop_);
    }
}

TPulseOutput::~TPulseOutput()
{
    if (mainloop_ != nullptr) {
        // Stops and joins the stream's thread: no callback runs after this.
        pa_threaded_mainloop_stop(mainloop_);
    }
    if (stream_ != nullptr) {
        pa_stream_set_state_callback(stream_, nullptr, nullptr);
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_disconnect(stream_);
        pa_stream_unref(stream_);
    }
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (mainloop_ != nullptr) {
        pa_threaded_mainloop_free(mainloop_);
    }
}

bool TPulseOutput::Alive() const
{
    return context_ != nullptr && stream_ != nullptr && pa_context_get_state(context_) == PA_CONTEXT_READY &&
           pa_stream_get_state(stream_) == PA_STREAM_READY;
}

bool TPulseOutput::Flush(const std::function<void(int64_t kept)>& apply)
{
    TLocked lock(mainloop_);
    if (!Alive()) {
        return false;
    }
    // Nothing is written while the server drops what it holds: it would be dropped too, or go
    // out before the mixer has set its buffers back. The question for the write index goes with
    // the flush, and the answer is taken on the stream's own thread, which goes on writing at
    // once: what the sink still held may be only a few milliseconds, and a waiting thread of
    // ordinary priority can take longer than that to be woken on a busy machine.
    flushing_ = true;
    pendingApply_ = &apply;
    pa_operation* flush = pa_stream_flush(stream_, nullptr, nullptr);
    pa_operation* timing = pa_stream_update_timing_info(stream_, &TPulseOutput::OnFlushed, this);
    if (flush != nullptr) {
        pa_operation_unref(flush);
    }
    if (timing == nullptr) {
        pendingApply_ = nullptr;
        flushing_ = false;
        return false;
    }
    while (pendingApply_ != nullptr && pa_operation_get_state(timing) == PA_OPERATION_RUNNING && Alive()) {
        pa_threaded_mainloop_wait(mainloop_);
    }
    pa_operation_unref(timing);
    const bool applied = pendingApply_ == nullptr;
    pendingApply_ = nullptr;
    flushing_ = false;
    return applied;
}

void TPulseOutput::OnFlushed(pa_stream* stream, int success, void* self)
{
    auto* output = static_cast<TPulseOutput*>(self);
    if (output->pendingApply_ == nullptr) {
        return;
    }
    // The write index, after the flush, is where what is written next goes: everything before it
    // is still played (the sink may already hold a little of what was dropped from the stream,
    // and a flush that failed dropped nothing, which the index shows as well).
    int64_t kept = -1;
    const pa_timing_info* timing = success != 0 ? pa_stream_get_timing_info(stream) : nullptr;
    if (timing != nullptr && timing->write_index_corrupt == 0 && timing->write_index >= 0) {
        kept = timing->write_index / static_cast<int64_t>(FrameBytes);
    }
    (*output->pendingApply_)(kept);
    output->pendingApply_ = nullptr;
    output->flushing_ = false;
    const size_t writable = pa_stream_writable_size(stream);
    if (writable != static_cast<size_t>(-1)) {
        output->Write(writable);
    }
    pa_threaded_mainloop_signal(output->mainloop_, 0);
}

void TPulseOutput::Write(size_t bytes)
{
    if (!raised_) {
        raised_ = true;
        TThreadPriority::RaiseCurrent(TDirectSoundMixer::DeviceThreadPriority, -20);
    }
    pa_usec_t usec = 0;
    int64_t heard = -1;
    if (pa_stream_get_time(stream_, &usec) == 0) {
        heard = static_cast<int64_t>(usec * DSOutputRate / PA_USEC_PER_SEC);
    }
    bytes -= bytes % FrameBytes;
    while (bytes > 0) {
        void* data = nullptr;
        size_t size = bytes;
        if (pa_stream_begin_write(stream_, &data, &size) < 0 || data == nullptr) {
            return;
        }
        size = std::min(size, bytes) / FrameBytes * FrameBytes;
        if (size == 0) {
            pa_stream_cancel_write(stream_);
            return;
        }
        fill_(static_cast<int16_t*>(data), static_cast<int>(size / FrameBytes), heard);
        if (pa_stream_write(stream_, data, size, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            return;  // the stream has failed: its state callback reports the loss
        }
        bytes -= size;
    }
}

void TPulseOutput::ReportLoss()
{
    // A stream that fails while it is being made is no loss: Open answers null for it.
    if (ready_ && !lossReported_) {
        lossReported_ = true;
        lost_();
    }
}

void TPulseOutput::OnContextState(pa_context* context, void* self)
{
    auto* output = static_cast<TPulseOutput*>(self);
    const pa_context_state_t state = pa_context_get_state(context);
    if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
        output->ReportLoss();
    }
    pa_threaded_mainloop_signal(output->mainloop_, 0);
}

void TPulseOutput::OnStreamState(pa_stream* stream, void* self)
{
    auto* output = static_cast<TPulseOutput*>(self);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
        output->ReportLoss();
    }
    pa_threaded_mainloop_signal(output->mainloop_, 0);
}

void TPulseOutput::OnWrite(pa_stream* /*stream*/, size_t bytes, void* self)
{
    auto* output = static_cast<TPulseOutput*>(self);
    if (!output->flushing_) {
        output->Write(bytes);
    }
}
