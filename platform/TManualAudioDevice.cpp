#include "TManualAudioDevice.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>

namespace {
std::atomic<TManualAudioDevice*> installed{nullptr};
constexpr int FrameBytes = 4;
}

TManualAudioDevice::TManualAudioDevice()
{
    TManualAudioDevice* none = nullptr;
    if (!installed.compare_exchange_strong(none, this)) {
        throw std::logic_error("a test sound device exists already");
    }
}

TManualAudioDevice::~TManualAudioDevice()
{
    installed = nullptr;
}

TManualAudioDevice* TManualAudioDevice::Installed()
{
    return installed.load();
}

std::vector<int16_t> TManualAudioDevice::Consume(int frames)
{
    std::lock_guard consuming(consuming_);
    SDL_AudioSpec format{};
    bool heard = false;
    {
        std::lock_guard lock(mutex_);
        if (open_ == 0 || !started_) {
            return {};
        }
        format = format_;
        heard = !lost_;
    }
    std::vector<int16_t> played(static_cast<size_t>(std::max(frames, 0)) * 2);
    const int period = std::max<int>(format.samples, 1);
    for (int done = 0; done < frames;) {
        const int n = std::min(period, frames - done);
        format.callback(format.userdata, reinterpret_cast<Uint8*>(played.data() + static_cast<size_t>(done) * 2),
                      n * FrameBytes);
        done += n;
    }
    if (!heard) {
        played.clear();
    }
    return played;
}

void TManualAudioDevice::Lose()
{
    std::lock_guard lock(mutex_);
    lost_ = open_ != 0;
    unavailable_ = true;
}

void TManualAudioDevice::Restore()
{
    std::lock_guard lock(mutex_);
    unavailable_ = false;
}

bool TManualAudioDevice::WaitOpen(int timeoutMs)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return open_ != 0 && started_ && !lost_; });
}

int TManualAudioDevice::Opens() const
{
    std::lock_guard lock(mutex_);
    return opens_;
}

SDL_AudioDeviceID TManualAudioDevice::Open(const SDL_AudioSpec& format)
{
    std::lock_guard lock(mutex_);
    if (unavailable_ || open_ != 0) {
        return 0;
    }
    format_ = format;
    open_ = next_++;
    started_ = false;
    lost_ = false;
    ++opens_;
    return open_;
}

void TManualAudioDevice::Start(SDL_AudioDeviceID device)
{
    std::lock_guard lock(mutex_);
    if (device == open_) {
        started_ = true;
        changed_.notify_all();
    }
}

void TManualAudioDevice::Close(SDL_AudioDeviceID device)
{
    std::lock_guard consuming(consuming_);
    std::lock_guard lock(mutex_);
    if (device == open_) {
        open_ = 0;
        started_ = false;
        lost_ = false;
    }
}

SDL_AudioStatus TManualAudioDevice::Status(SDL_AudioDeviceID device) const
{
    std::lock_guard lock(mutex_);
    if (device == 0 || device != open_ || lost_) {
        return SDL_AUDIO_STOPPED;
    }
    return started_ ? SDL_AUDIO_PLAYING : SDL_AUDIO_PAUSED;
}
