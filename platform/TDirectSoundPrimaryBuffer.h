#pragma once
// The primary buffer: the device's output. It takes a PCM output format (the device keeps running
// at 44100 Hz stereo; SDL converts) and a volume that applies to the whole mix. Nothing can be
// written to it.
#include "DirectSound.h"

#include <atomic>
#include <memory>

class TDirectSoundMixer;

class TDirectSoundPrimaryBuffer : public IDirectSoundBuffer {
public:
    TDirectSoundPrimaryBuffer(std::shared_ptr<TDirectSoundMixer> mixer, DWORD flags);

    HRESULT QueryInterface(const GUID& iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetCurrentPosition(DWORD* play, DWORD* write) override;
    HRESULT Lock(DWORD offset, DWORD bytes, void** ptr1, DWORD* bytes1, void** ptr2, DWORD* bytes2,
                 DWORD flags) override;
    HRESULT Play(DWORD reserved, DWORD priority, DWORD flags) override;
    HRESULT SetFormat(const WAVEFORMATEX* format) override;
    HRESULT SetVolume(LONG volume) override;
    HRESULT GetVolume(LONG* volume) override;
    HRESULT Stop() override;
    HRESULT Unlock(void* ptr1, DWORD bytes1, void* ptr2, DWORD bytes2) override;

private:
    ~TDirectSoundPrimaryBuffer() override = default;

    std::atomic<ULONG> refs_{1};
    std::shared_ptr<TDirectSoundMixer> mixer_;
    const DWORD flags_;
    std::atomic<LONG> volume_{0};
};
