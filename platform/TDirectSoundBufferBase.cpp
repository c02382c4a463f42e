#include "TDirectSoundBufferBase.h"

TDirectSoundBufferBase::TDirectSoundBufferBase(std::shared_ptr<TDirectSoundMixer> mixer, DWORD flags)
    : mixer_(std::move(mixer)), flags_(flags)
{
}

HRESULT TDirectSoundBufferBase::SetVolume(LONG volume)
{
    if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) {
        return DSERR_CONTROLUNAVAIL;
    }
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) {
        return DSERR_INVALIDPARAM;
    }
    ApplyVolume(volume);
    return DS_OK;
}

HRESULT TDirectSoundBufferBase::GetVolume(LONG* volume)
{
    if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) {
        return DSERR_CONTROLUNAVAIL;
    }
    if (volume == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    *volume = Volume();
    return DS_OK;
}
