#pragma once
// The program's sound device: the DirectSound-like device object, its primary buffer and the
// output format (OutputFormat::Rate). The stream player makes its own buffer through Device.
#include "DirectSound.h"
#include "TComPtr.h"
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
    TComPtr<IDirectSoundBuffer> PrimaryBuffer;
    // Slots for buffers made on the device for this object; each reference in a slot is held
    // here and let go by ReleaseAll. (The stream player keeps its own buffer.)
    IDirectSoundBuffer* SecondaryBuffers[64] = {};
    TComPtr<IDirectSound8> Device;

private:
    // Releases the secondary buffers, the primary buffer and the device, in that order; traced,
    // each release writes its line.
    void ReleaseAll(bool traced);
};
