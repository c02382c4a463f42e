#pragma once
// The SDL audio device behind a DirectSound object: 44100 Hz, signed 16-bit, stereo, a callback of
// DSOutputFrames frames that mixes every playing secondary buffer. One mutex guards the mix and the
// state of every buffer of the device, so that a buffer that Stop or Release has returned from is
// never touched again by the callback.
//
// A device can go away while it plays (unplugged, its sound server sink removed, the server
// restarted, a write error). A watcher thread then closes it and opens the default device again,
// at once and then about once a second until one opens; meanwhile no buffer moves on, so the
// cursors, and the clocks read from them, stay where the sound stopped.
#include "TPriorityMutex.h"

#include <SDL.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TDirectSoundBuffer;
class TManualAudioDevice;

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
    // From the callback of a device SDL has given up: the buffers keep what they handed to it
    // last, and the watcher is woken. Once per loss.
    void NoteLoss();
    // The watcher thread: waits for a loss, then re-opens until a device opens or the mixer goes.
    void Watch();
    // Closes the lost device and opens the default one afresh; true when one opened.
    bool Reopen();
    // The device: SDL's default one, or the test device that was there when the mixer opened.
    SDL_AudioDeviceID OpenDevice(SDL_AudioSpec want);
    void StartDevice(SDL_AudioDeviceID device);
    void CloseDevice(SDL_AudioDeviceID device);
    SDL_AudioStatus DeviceStatus(SDL_AudioDeviceID device) const;

    std::atomic<SDL_AudioDeviceID> device_{0};
    SDL_AudioSpec want_{};  // what the first open asked for; every re-open asks the same
    bool subsystem_ = false;
    TManualAudioDevice* manual_ = nullptr;
    TPriorityMutex mutex_;
    std::vector<TDirectSoundBuffer*> buffers_;
    int32_t masterGain_ = 65536;  // 16.16 fixed point
    bool lost_ = false;  // under mutex_

    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool lossNoted_ = false;  // under watchMutex_
    bool quit_ = false;       // under watchMutex_
    std::thread watcher_;
};
