#pragma once
// The SDL audio device behind a DirectSound object: 44100 Hz, signed 16-bit, stereo, a callback of
// DSOutputFrames frames that mixes every playing secondary buffer. One mutex guards the mix and the
// state of every buffer of the device, so that a buffer that Stop or Release has returned from is
// never touched again by the callback.
//
// Where the sound goes to a PulseAudio server (SDL_AUDIODRIVER unset or "pulseaudio"), the mixer
// drives a stream of its own instead (TPulseOutput): it mixes a quarter of a second ahead of what
// is heard, and the buffers' cursors and notifications follow what the server reports heard.
// Every start, stop and write into sound mixed but not yet heard first has the server drop what
// it holds (Resync), and each buffer is set back to the first frame dropped.
//
// A device can go away while it plays (unplugged, its sound server sink removed, the server
// restarted, a write error). A watcher thread then closes it and opens the default device again,
// at once and then about once a second until one opens; meanwhile no buffer moves on, so the
// cursors, and the clocks read from them, stay where the sound stopped.
#include "TPriorityMutex.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TDirectSoundBuffer;
class TManualAudioDevice;
class TPulseOutput;

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

    // True when the device mixes ahead of what is heard and reports what is heard (a PulseAudio
    // stream of our own).
    bool Tracked() const { return tracked_; }
    // Runs change with the lock held. With a tracked device the server first drops the sound it
    // holds, and every buffer is set back to the first frame dropped, so that change acts on
    // nothing mixed ahead. Not with the lock held.
    void Resync(const std::function<void()>& change);
    // With the lock held: the device frame heard as last reported, and as it stands now.
    int64_t HeardReported() const { return heard_; }
    int64_t HeardNow() const;

    // The device thread's real-time priority: any real-time priority puts it ahead of every
    // ordinary thread. PulseAudio's own threads run at 5 (up to 20 through RealtimeKit); the
    // callback takes well under a millisecond a turn, so ahead of them it keeps them waiting
    // no longer than that.
    static constexpr int DeviceThreadPriority = 10;

private:
    TDirectSoundMixer() = default;
    static void SDLCALL Callback(void* self, Uint8* stream, int len);
    // Mixes frames into out with the lock held; the first frame is the device's frame at (-1
    // for a device that does not report what is heard).
    void MixLocked(int16_t* out, int frames, int64_t at);
    // The tracked device's request: what is heard, then frames more.
    void Fill(int16_t* out, int frames, int64_t heard);
    // Opens the tracked device; false when there is no server to reach.
    bool OpenTracked();
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

    // The tracked device, replaced by the watcher after a loss.
    std::atomic<bool> tracked_{false};
    std::mutex outputMutex_;
    std::unique_ptr<TPulseOutput> output_;  // under outputMutex_
    // Under mutex_: the device's next frame to mix, the frame heard as last reported and when.
    int64_t written_ = 0;
    int64_t heard_ = 0;
    std::chrono::steady_clock::time_point heardAt_;

    std::mutex watchMutex_;
    std::condition_variable watchWake_;
    bool lossNoted_ = false;  // under watchMutex_
    bool quit_ = false;       // under watchMutex_
    std::thread watcher_;
};
