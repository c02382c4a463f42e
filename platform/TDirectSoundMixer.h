#pragma once
// The SDL audio device behind a DirectSound object: 44100 Hz, signed 16-bit, stereo, a callback of
// DSOutputFrames frames that mixes every playing secondary buffer. One mutex guards the mix and the
// state of every buffer of the device, so that a buffer that Stop or Release has returned from is
// never touched again by the callback.
#include "TPriorityMutex.h"

#include <SDL.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class TDirectSoundBuffer;

class TDirectSoundMixer {
public:
    // Opens the default device; null when SDL cannot open one. lacking (when given) tells whether
    // that was for want of memory or a thread rather than for want of a device.
    static std::shared_ptr<TDirectSoundMixer> Open(bool* lacking = nullptr);
    ~TDirectSoundMixer();
    TDirectSoundMixer(const TDirectSoundMixer&) = delete;
    TDirectSoundMixer& operator=(const TDirectSoundMixer&) = delete;

    // Buffers join the mix at creation and leave it at destruction (taking Lock()).
    void Add(TDirectSoundBuffer* buffer);
    void Remove(TDirectSoundBuffer* buffer);

    TPriorityMutex& Lock() { return mutex_; }

    // Primary volume in hundredths of a decibel, applied after the mix.
    void SetMasterVolume(int32_t volume);

    // The device thread's real-time priority: any real-time priority puts it ahead of every
    // ordinary thread. PulseAudio's own threads run at 5 (up to 20 through RealtimeKit); the
    // callback takes well under a millisecond a turn, so ahead of them it keeps them waiting
    // no longer than that.
    static constexpr int DeviceThreadPriority = 10;

private:
    TDirectSoundMixer() = default;
    static void SDLCALL Callback(void* self, Uint8* stream, int len);
    void Mix(int16_t* out, int frames);

    SDL_AudioDeviceID device_ = 0;
    bool subsystem_ = false;
    TPriorityMutex mutex_;
    std::vector<TDirectSoundBuffer*> buffers_;
    int32_t masterGain_ = 65536;  // 16.16 fixed point
};
