#pragma once
// The primary buffer: the device's output. It takes a PCM output format (the device keeps running
// at 44100 Hz stereo; SDL converts) and a volume that applies to the whole mix. Nothing can be
// written to it.
#include "TDirectSoundBufferBase.h"

#include <atomic>
#include <memory>

class TDirectSoundMixer;

class TDirectSoundPrimaryBuffer : public TDirectSoundBufferBase {
public:
    TDirectSoundPrimaryBuffer(std::shared_ptr<TDirectSoundMixer> mixer, DWORD flags);

    // A PCM format of 8 or 16 bits, one or two channels, 100 to 200000 Hz, consistent in itself.
    HRESULT SetFormat(const WAVEFORMATEX* format) override;
    // The output always runs: looping play and stop succeed, the cursors stand at 0, and nothing
    // can be locked for writing.
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
    HRESULT Stop() override;
    HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override;
    HRESULT Lock(DWORD offset, DWORD bytes, void** ptr1, DWORD* bytes1, void** ptr2, DWORD* bytes2,
                 DWORD flags) override;
    HRESULT Unlock(void* ptr1, DWORD bytes1, void* ptr2, DWORD bytes2) override;

private:
    ~TDirectSoundPrimaryBuffer() override = default;
    // The volume of the whole mix.
    void ApplyVolume(LONG volume) override;
    LONG Volume() override { return volume_; }

    std::atomic<LONG> volume_{0};
};
