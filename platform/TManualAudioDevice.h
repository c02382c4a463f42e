#pragma once
// A sound device for tests, beside SDL's drivers: while one exists, every DirectSound object made
// opens it instead of an SDL device. It plays nothing by itself. A test says how many frames the
// device takes (Consume): the mix runs for them at once, on the test's thread, and what was
// played comes back, so order and content can be checked without sleeping or timing. It can be
// lost as a real device is (Lose: the next callback finds it gone, and no device opens) and come
// back (Restore).
//
// Make it before the DirectSound object and let it outlive every object made while it exists.
// One at a time, one open device at a time.
#include <SDL.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class TManualAudioDevice {
public:
    // Throws std::logic_error when another one exists.
    TManualAudioDevice();
    ~TManualAudioDevice();
    TManualAudioDevice(const TManualAudioDevice&) = delete;
    TManualAudioDevice& operator=(const TManualAudioDevice&) = delete;

    // The device takes frames: the callback runs for them, a device period at a time, and the
    // interleaved stereo samples played come back. Nothing is played while no device is open, or
    // by a lost one (whose callback still runs, as SDL's does).
    std::vector<int16_t> Consume(int frames);
    // The open device is lost, and no device opens until Restore.
    void Lose();
    void Restore();
    // Waits until a device is open, started and not lost; false after timeoutMs.
    bool WaitOpen(int timeoutMs);
    // How many times a device was opened.
    int Opens() const;

    // For the mixer, in place of SDL's calls: null when no test device exists.
    static TManualAudioDevice* Installed();
    // 0 while lost, or while a device is open already. It takes nothing until started, as an
    // SDL device opens paused.
    SDL_AudioDeviceID Open(const SDL_AudioSpec& format);
    void Start(SDL_AudioDeviceID device);
    // Waits for a Consume in progress, as SDL's close waits for a callback.
    void Close(SDL_AudioDeviceID device);
    SDL_AudioStatus Status(SDL_AudioDeviceID device) const;

private:
    std::mutex consuming_;  // held across a Consume and by Close
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    SDL_AudioSpec format_{};
    SDL_AudioDeviceID open_ = 0;
    bool started_ = false;
    SDL_AudioDeviceID next_ = 1;
    bool lost_ = false;
    bool unavailable_ = false;
    int opens_ = 0;
};
