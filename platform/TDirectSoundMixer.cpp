#include "TDirectSoundMixer.h"

#include "DirectSound.h"
#include "TDirectSoundBuffer.h"
#include "TThreadPriority.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {
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
    // Audio brings up SDL's event subsystem, which would catch SIGINT and SIGTERM and turn them
    // into quit events nobody reads: the process could then no longer be ended by a signal.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        if (lacking != nullptr) {
            *lacking = SdlLacked();
        }
        return nullptr;
    }
    mixer->subsystem_ = true;

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
    SDL_AudioSpec have{};
    // No changes allowed: SDL converts to whatever the hardware takes, so the callback always
    // sees 44100 Hz signed 16-bit stereo.
    mixer->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (mixer->device_ == 0) {
        if (lacking != nullptr) {
            *lacking = SdlLacked();
        }
        return nullptr;  // the destructor quits the subsystem
    }
    SDL_PauseAudioDevice(mixer->device_, 0);
    return mixer;
}

TDirectSoundMixer::~TDirectSoundMixer()
{
    // Closing waits for a callback in progress, so nothing runs on this object afterwards.
    if (device_ != 0) {
        SDL_CloseAudioDevice(device_);
    }
    if (subsystem_) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
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
    // refuses real-time scheduling the thread stays as SDL made it.
    thread_local bool raised = false;
    if (!raised) {
        raised = true;
        TThreadPriority::RaiseCurrent(DeviceThreadPriority, -20);
    }
    const int frameBytes = DSOutputChannels * (DSOutputBits / 8);
    mixer->Mix(reinterpret_cast<int16_t*>(stream), len / frameBytes);
    const int done = (len / frameBytes) * frameBytes;
    if (done < len) {
        std::memset(stream + done, 0, static_cast<size_t>(len - done));
    }
}

void TDirectSoundMixer::Mix(int16_t* out, int frames)
{
    constexpr int chunkFrames = 1024;
    int32_t acc[chunkFrames * DSOutputChannels];
    std::lock_guard lock(mutex_);
    while (frames > 0) {
        const int n = std::min(frames, chunkFrames);
        const size_t samples = static_cast<size_t>(n) * DSOutputChannels;
        std::fill(acc, acc + samples, 0);
        for (TDirectSoundBuffer* buffer : buffers_) {
            buffer->MixInto(acc, n);
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
