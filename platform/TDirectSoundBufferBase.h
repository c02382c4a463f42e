#pragma once
// What the primary and the secondary buffers share: the device they belong to, their capability
// flags, and the checks of the volume control. Each keeps and applies the volume in its own way.
#include "DirectSound.h"
#include "TComObject.h"

#include <memory>

class TDirectSoundMixer;

class TDirectSoundBufferBase : public TComObject<IDirectSoundBuffer, &IID_IDirectSoundBuffer> {
public:
    // Without DSBCAPS_CTRLVOLUME both fail with DSERR_CONTROLUNAVAIL.
    HRESULT SetVolume(LONG volume) final;
    HRESULT GetVolume(LONG* volume) final;

protected:
    TDirectSoundBufferBase(std::shared_ptr<TDirectSoundMixer> mixer, DWORD flags);
    ~TDirectSoundBufferBase() override = default;

    // Keeps and applies a volume SetVolume has accepted; answers the one kept.
    virtual void ApplyVolume(LONG volume) = 0;
    virtual LONG Volume() = 0;

    const std::shared_ptr<TDirectSoundMixer> mixer_;
    const DWORD flags_;
};
