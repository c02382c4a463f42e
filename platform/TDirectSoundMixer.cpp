#include "TDirectSoundMixer.h"

#include "DirectSound.h"
#include "TDirectSoundBuffer.h"
#include "TManualAudioDevice.h"
#include "TPulseOutput.h"
#include "TThreadPriority.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <system_error>

namespace {
// While no device can be opened the watcher tries again this often: a retry costs a connection
// attempt to the sound server, and a second is as long as a listener should wait once one is back.
constexpr auto RetryInterval = std::chrono::seconds(1);

// SDL's audio start and stop, and the opening and closing of its devices, are not safe from
// several threads at once; a watcher re-opens while another mixer may be opening or closing.
std::mutex& SdlAudioLock()
{
    static std::mutex lock;
    return lock;
}

// Our own stream serves where SDL would have chosen PulseAudio itself, or was told to; any other
// driver asked for (the disk and dummy drivers of the tests, ALSA) goes through SDL.
bool TrackedWanted()
{
    const char* driver = std::getenv("SDL_AUDIODRIVER");
    if (driver == nullptr || *driver == '\0') {
        return true;
    }
    const std::string_view name = driver;
    return name == "pulseaudio" || name == "pulse";
}

// SDL reports a thread it could not make and memory it could not get in these words.
bool SdlLacked()
{
    const std::string_view error = SDL_GetError();
    return error.find("thread") != std::string_view::npos || error.find("memory") != std::string_view::npos ||
           error.find("resources") != std::string_view::npos;
}
}

std::shared_ptr<TDirectSoundMixer> TDirectSoundMixer::Open(bool* lacking)
{
    if (lacking != nullptr) {
        *lacking = false;
    }
    std::shared_ptr<TDirectSoundMixer> mixer(new TDirectSoundMixer());
    // Taken after the mixer is made, so that it is let go before a mixer that failed is
    // destroyed (its destructor takes it too).
    std::lock_guard sdl(SdlAudioLock());
    mixer->manual_ = TManualAudioDevice::Installed();
    // Audio brings up SDL's event subsystem, which would catch SIGINT and SIGTERM and turn them
    // into quit events nobody reads: the process could then no longer be ended by a signal.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (mixer->manual_ == nullptr && TrackedWanted() && mixer->OpenTracked()) {
        try {
            mixer->watcher_ = std::thread(&TDirectSoundMixer::Watch, mixer.get());
        } catch (const std::system_error&) {
            if (lacking != nullptr) {
                *lacking = true;
            }
            return nullptr;
        }
        return mixer;
    }
    if (mixer->manual_ == nullptr) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            if (lacking != nullptr) {
                *lacking = SdlLacked();
            }
            return nullptr;
        }
        mixer->subsystem_ = true;
    }

    SDL_AudioSpec want{};
    want.freq = static_cast<int>(DSOutputRate);
    want.format = AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(DSOutputChannels);
    want.samples = static_cast<Uint16>(DSOutputFrames);
    want.callback = &TDirectSoundMixer::Callback;
    want.userdata = mixer.get();
    // SDL gives the callback thread the highest ordinary priority (nice -20 where the process may,
    // through RealtimeKit where it may not); the first callback asks for real-time scheduling on
    // top of that (Callback). SDL's own way to force it (SDL_HINT_THREAD_FORCE_REALTIME_TIME_CRITICAL)
    // left the thread at nice 0 where the system refuses real-time threads, as containers do.
    mixer->device_ = mixer->OpenDevice(want);
    if (mixer->device_ == 0) {
        if (lacking != nullptr) {
            *lacking = SdlLacked();
        }
        return nullptr;  // the destructor quits the subsystem
    }
    mixer->want_ = want;
    try {
        mixer->watcher_ = std::thread(&TDirectSoundMixer::Watch, mixer.get());
    } catch (const std::system_error&) {
        if (lacking != nullptr) {
            *lacking = true;
        }
        return nullptr;
    }
    mixer->StartDevice(mixer->device_);
    return mixer;
}

bool TDirectSoundMixer::OpenTracked()
{
    tracked_ = true;
    auto output = TPulseOutput::Open([this](int16_t* out, int frames, int64_t heard) { Fill(out, frames, heard); },
                                     [this] { NoteLoss(); });
    if (output == nullptr) {
        tracked_ = false;
        return false;
    }
    std::lock_guard lock(outputMutex_);
    output_ = std::move(output);
    return true;
}

SDL_AudioDeviceID TDirectSoundMixer::OpenDevice(SDL_AudioSpec want)
{
    if (manual_ != nullptr) {
        return manual_->Open(want);
    }
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware takes, so the callback always
    // sees 44100 Hz signed 16-bit stereo.
    return SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
}

void TDirectSoundMixer::StartDevice(SDL_AudioDeviceID device)
{
    if (manual_ != nullptr) {
        manual_->Start(device);
    } else {
        SDL_PauseAudioDevice(device, 0);
    }
}

void TDirectSoundMixer::CloseDevice(SDL_AudioDeviceID device)
{
    if (manual_ != nullptr) {
        manual_->Close(device);
    } else {
        SDL_CloseAudioDevice(device);
    }
}

SDL_AudioStatus TDirectSoundMixer::DeviceStatus(SDL_AudioDeviceID device) const
{
    return manual_ != nullptr ? manual_->Status(device) : SDL_GetAudioDeviceStatus(device);
}

TDirectSoundMixer::~TDirectSoundMixer()
{
    // The watcher goes first: it may be closing or opening a device.
    {
        std::lock_guard lock(watchMutex_);
        quit_ = true;
    }
    watchWake_.notify_all();
    if (watcher_.joinable()) {
        watcher_.join();
    }
    // Its thread is joined here, with no lock held: it may be waiting for the mixer's.
    std::unique_ptr<TPulseOutput> output;
    {
        std::lock_guard lock(outputMutex_);
        output = std::move(output_);
    }
    output.reset();
    std::lock_guard sdl(SdlAudioLock());
    // Closing waits for a callback in progress, so nothing runs on this object afterwards.
    if (device_ != 0) {
        CloseDevice(device_);
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
}

void TDirectSoundMixer::NoteLoss()
{
    {
        std::lock_guard lock(mutex_);
        if (lost_) {
            return;
        }
        lost_ = true;
        for (TDirectSoundBuffer* buffer : buffers_) {
            buffer->DeviceLost();
        }
    }
    {
        std::lock_guard lock(watchMutex_);
        lossNoted_ = true;
    }
    watchWake_.notify_all();
}

void TDirectSoundMixer::Watch()
{
    std::unique_lock lock(watchMutex_);
    for (;;) {
        watchWake_.wait(lock, [this] { return quit_ || lossNoted_; });
        if (quit_) {
            return;
        }
        lossNoted_ = false;
        for (;;) {
            lock.unlock();
            const bool back = Reopen();
            lock.lock();
            if (back || watchWake_.wait_for(lock, RetryInterval, [this] { return quit_; })) {
                break;
            }
        }
    }
}

bool TDirectSoundMixer::Reopen()
{
    if (tracked_) {
        std::unique_ptr<TPulseOutput> old;
        {
            std::lock_guard lock(outputMutex_);
            old = std::move(output_);
        }
        old.reset();
        {
            // A new stream counts its frames from nought.
            std::lock_guard lock(mutex_);
            written_ = 0;
            heard_ = 0;
            heardAt_ = std::chrono::steady_clock::now();
            lost_ = false;
        }
        auto fresh = TPulseOutput::Open([this](int16_t* out, int frames, int64_t heard) { Fill(out, frames, heard); },
                                        [this] { NoteLoss(); });
        if (fresh == nullptr) {
            // What went into a stream that failed while it was being made is owed again.
            std::lock_guard lock(mutex_);
            lost_ = true;
            for (TDirectSoundBuffer* buffer : buffers_) {
                buffer->DeviceLost();
            }
            return false;
        }
        std::lock_guard lock(outputMutex_);
        output_ = std::move(fresh);
        return true;
    }
    std::lock_guard sdl(SdlAudioLock());
    if (const SDL_AudioDeviceID lost = device_.exchange(0); lost != 0) {
        CloseDevice(lost);
    }
    // Only the device, not SDL's audio as a whole: each device opened through SDL's pulseaudio
    // driver makes its own connection, which finds a restarted server, whereas starting the
    // driver again while the server has no sink crashes inside SDL 2.26 (it copies the missing
    // default sink's name).
    const SDL_AudioDeviceID device = OpenDevice(want_);
    if (device == 0) {
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        lost_ = false;
    }
    device_ = device;
    StartDevice(device);
    return true;
}

void TDirectSoundMixer::Add(TDirectSoundBuffer* buffer)
{
    std::lock_guard lock(mutex_);
    buffers_.push_back(buffer);
}

void TDirectSoundMixer::Remove(TDirectSoundBuffer* buffer)
{
    std::lock_guard lock(mutex_);
    buffers_.erase(std::remove(buffers_.begin(), buffers_.end(), buffer), buffers_.end());
}

void TDirectSoundMixer::SetMasterVolume(int32_t volume)
{
    std::lock_guard lock(mutex_);
    masterGain_ = TDirectSoundBuffer::GainOf(volume);
}

void SDLCALL TDirectSoundMixer::Callback(void* self, Uint8* stream, int len)
{
    auto* mixer = static_cast<TDirectSoundMixer*>(self);
    // SDL starts its device thread at the highest ordinary priority (nice -20) where it may. On a
    // busy machine that still lost the thread its turn now and then for longer than the sound
    // server holds (see DSOutputFrames): measured through PulseAudio under stress-ng --cpu 2
    // --io 1, 29 gaps in 9 minutes at nice -20 and 1 in 6 minutes real-time. Where the system
    // refuses real-time scheduling the thread stays as SDL made it. The test device calls back on
    // the test's own thread, which is left as it is.
    thread_local bool raised = false;
    if (!raised && mixer->manual_ == nullptr) {
        raised = true;
        TThreadPriority::RaiseCurrent(DeviceThreadPriority, -20);
    }
    // SDL goes on calling a device it has given up, at the pace it played, into a buffer nobody
    // hears: taking the buffers' sound there would skip it and run the clocks on.
    if (mixer->DeviceStatus(mixer->device_) != SDL_AUDIO_PLAYING) {
        std::memset(stream, 0, static_cast<size_t>(len));
        mixer->NoteLoss();
        return;
    }
    const int frameBytes = DSOutputChannels * (DSOutputBits / 8);
    {
        std::lock_guard lock(mixer->mutex_);
        mixer->MixLocked(reinterpret_cast<int16_t*>(stream), len / frameBytes, -1);
    }
    const int done = (len / frameBytes) * frameBytes;
    if (done < len) {
        std::memset(stream + done, 0, static_cast<size_t>(len - done));
    }
}

void TDirectSoundMixer::Fill(int16_t* out, int frames, int64_t heard)
{
    std::lock_guard lock(mutex_);
    if (heard >= 0) {
        // Nothing can have been heard that was not written; the server's estimate runs on at
        // times while a sink has not yet started to take the stream.
        heard_ = std::min(std::max(heard_, heard), written_);
        heardAt_ = std::chrono::steady_clock::now();
    }
    for (TDirectSoundBuffer* buffer : buffers_) {
        buffer->Heard(heard_ - TDirectSoundBuffer::LossMarginFrames);
    }
    MixLocked(out, frames, written_);
    written_ += frames;
}

int64_t TDirectSoundMixer::HeardNow() const
{
    // The server reports about every 25 ms; in between the sound runs on at its rate, though
    // never past what it was given.
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - heardAt_).count();
    const auto passed = static_cast<int64_t>(std::clamp(seconds, 0.0, 1.0) * DSOutputRate);
    return std::max(heard_, std::min(heard_ + passed, written_));
}

void TDirectSoundMixer::Resync(const std::function<void()>& change)
{
    if (tracked_) {
        std::lock_guard out(outputMutex_);
        if (output_ != nullptr && output_->Flush([&](int64_t kept) {
                std::lock_guard lock(mutex_);
                if (!lost_) {
                    // Where the server could not say what it kept, what is heard by now is the
                    // best guess: at worst a moment is heard twice.
                    const int64_t at = kept >= 0 ? kept : HeardNow();
                    for (TDirectSoundBuffer* buffer : buffers_) {
                        buffer->KeepUpTo(at);
                    }
                    written_ = at;
                    heard_ = std::min(heard_, at);
                }
                change();
            })) {
            return;
        }
    }
    std::lock_guard lock(mutex_);
    change();
}

void TDirectSoundMixer::MixLocked(int16_t* out, int frames, int64_t at)
{
    constexpr int chunkFrames = 1024;
    int32_t acc[chunkFrames * DSOutputChannels];
    while (frames > 0) {
        const int n = std::min(frames, chunkFrames);
        const size_t samples = static_cast<size_t>(n) * DSOutputChannels;
        std::fill(acc, acc + samples, 0);
        for (TDirectSoundBuffer* buffer : buffers_) {
            buffer->MixInto(acc, n, at);
        }
        if (at >= 0) {
            at += n;
        }
        if (masterGain_ == 65536) {
            for (size_t i = 0; i < samples; ++i) {
                out[i] = static_cast<int16_t>(std::clamp<int32_t>(acc[i], -32768, 32767));
            }
        } else {
            for (size_t i = 0; i < samples; ++i) {
                const int64_t v = (static_cast<int64_t>(acc[i]) * masterGain_ + 32768) >> 16;
                out[i] = static_cast<int16_t>(std::clamp<int64_t>(v, -32768, 32767));
            }
        }
        out += samples;
        frames -= n;
    }
}
