#pragma once
// The program's sound device: the DirectSound-like device object, its primary buffer and the
// output format (OutputFormat::Rate). The stream player makes its own buffer through Device.
#include "DirectSound.h"
#include "TraceChannel.h"

#include <cstdint>

struct TSoundFormat {
    uint32_t SampleRate;
};

class TDXSound {
public:
    TDXSound();
    ~TDXSound();
    TDXSound(const TDXSound&) = delete;
    TDXSound& operator=(const TDXSound&) = delete;

    // window: the main window's handle (any value; the device does not use it beyond the call).
    // False when there is no device; throws EResourceError when the system would not give the
    // device the memory or the thread it needs.
    bool Init(HWND window, const TSoundFormat* format);

    TTraceChannel Trace;
    IDirectSoundBuffer* PrimaryBuffer = nullptr;
    IDirectSoundBuffer* SecondaryBuffers[64] = {};
    IDirectSound8* Device = nullptr;

private:
    // Releases the secondary buffers, the primary buffer and the device, in that order; traced,
    // each release writes its line.
    void ReleaseAll(bool traced);
};
