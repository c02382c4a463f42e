#pragma once
// Helpers shared by the sound tests: choosing SDL's audio driver, owning DirectSound objects,
// and counting this process's threads.
#include "DirectSound.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace soundtest {

// SDL reads these when its audio subsystem starts, so they must be set before a device opens.
inline void UseDummyDriver()
{
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// The disk driver writes everything the device plays to path. delayMs paces the callback
// (SDL's default is real time).
inline void UseDiskDriver(const std::string& path, int delayMs = -1)
{
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    if (delayMs >= 0) {
        setenv("SDL_DISKAUDIODELAY", std::to_string(delayMs).c_str(), 1);
    } else {
        unsetenv("SDL_DISKAUDIODELAY");
    }
}

// Releases a reference-counted interface at the end of a scope.
template <typename T>
struct ComPtr {
    T* p = nullptr;
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { Reset(); }
    void Reset()
    {
        if (p != nullptr) {
            p->Release();
            p = nullptr;
        }
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// The threads of this process that are not on their way out. A joined thread is not always gone
// from /proc/self/task yet: join returns as soon as the kernel clears the thread's id, which comes
// before it takes the thread off the list. The kernel marks a thread as exiting (PF_EXITING in the
// flags of its stat line) before either, so a thread that has been joined is never counted.
inline int ThreadCount()
{
    constexpr unsigned long Exiting = 0x4;
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream in(e.path() / "stat");
        std::string line;
        if (!std::getline(in, line)) {
            continue;  // gone while we looked
        }
        // "tid (name) state ppid pgrp session tty tpgid flags ...": the name may hold anything.
        const auto close = line.rfind(')');
        std::istringstream fields(close == std::string::npos ? std::string() : line.substr(close + 1));
        std::string skip;
        unsigned long flags = 0;
        for (int i = 0; i < 6; ++i) {
            fields >> skip;
        }
        if (fields >> flags && (flags & Exiting) != 0) {
            continue;
        }
        ++n;
    }
    return n;
}

inline WAVEFORMATEX StereoFormat()
{
    WAVEFORMATEX wf{};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = 2;
    wf.nSamplesPerSec = DSOutputRate;
    wf.nAvgBytesPerSec = DSOutputRate * DSOutputChannels * DSOutputBits / 8;
    wf.nBlockAlign = 4;
    wf.wBitsPerSample = 16;
    return wf;
}

}
