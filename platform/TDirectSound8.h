#pragma once
// The DirectSound object: one open SDL audio device, shared with the buffers it creates, so the
// device stays open until the object and all its buffers have been released.
#include "TComObject.h"

#include <atomic>
#include <memory>

class TDirectSoundMixer;

class TDirectSound8 : public TComObject<IDirectSound8, &IID_IUnknown> {
public:
    explicit TDirectSound8(std::shared_ptr<TDirectSoundMixer> mixer);

    HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD level) override;

private:
    ~TDirectSound8() override = default;

    std::shared_ptr<TDirectSoundMixer> mixer_;
    std::atomic<DWORD> level_{0};
};
