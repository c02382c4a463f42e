#include "TDirectSoundPrimaryBuffer.h"

#include "TDirectSoundMixer.h"

TDirectSoundPrimaryBuffer::TDirectSoundPrimaryBuffer(std::shared_ptr<TDirectSoundMixer> mixer, DWORD flags)
    : mixer_(std::move(mixer)), flags_(flags)
{
}

HRESULT TDirectSoundPrimaryBuffer::QueryInterface(const GUID& iid, void** object)
{
    if (object == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDirectSoundBuffer) {
        AddRef();
        *object = static_cast<IDirectSoundBuffer*>(this);
        return DS_OK;
    }
    return E_NOINTERFACE;
}

ULONG TDirectSoundPrimaryBuffer::AddRef()
{
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG TDirectSoundPrimaryBuffer::Release()
{
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT TDirectSoundPrimaryBuffer::GetCurrentPosition(DWORD* play, DWORD* write)
{
    if (play != nullptr) {
        *play = 0;
    }
    if (write != nullptr) {
        *write = 0;
    }
    return DS_OK;
}

HRESULT TDirectSoundPrimaryBuffer::Lock(DWORD, DWORD, void**, DWORD*, void**, DWORD*, DWORD)
{
    return DSERR_INVALIDCALL;
}

HRESULT TDirectSoundPrimaryBuffer::Unlock(void*, DWORD, void*, DWORD)
{
    return DSERR_INVALIDCALL;
}

HRESULT TDirectSoundPrimaryBuffer::Play(DWORD reserved, DWORD, DWORD flags)
{
    // The output always runs; only looping play is meaningful for a primary buffer.
    return reserved == 0 && (flags & DSBPLAY_LOOPING) != 0 ? DS_OK : DSERR_INVALIDPARAM;
}

HRESULT TDirectSoundPrimaryBuffer::Stop()
{
    return DS_OK;
}

HRESULT TDirectSoundPrimaryBuffer::SetFormat(const WAVEFORMATEX* f)
{
    if (f == nullptr || f->wFormatTag != WAVE_FORMAT_PCM || f->nChannels < 1 || f->nChannels > 2 ||
        (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) || f->nSamplesPerSec < 100 ||
        f->nSamplesPerSec > 200000 || f->nBlockAlign != f->nChannels * f->wBitsPerSample / 8 ||
        f->nAvgBytesPerSec != f->nSamplesPerSec * f->nBlockAlign) {
        return DSERR_BADFORMAT;
    }
    return DS_OK;
}

HRESULT TDirectSoundPrimaryBuffer::SetVolume(LONG volume)
{
    if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) {
        return DSERR_CONTROLUNAVAIL;
    }
    if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) {
        return DSERR_INVALIDPARAM;
    }
    volume_ = volume;
    mixer_->SetMasterVolume(volume);
    return DS_OK;
}

HRESULT TDirectSoundPrimaryBuffer::GetVolume(LONG* volume)
{
    if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) {
        return DSERR_CONTROLUNAVAIL;
    }
    if (volume == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    *volume = volume_;
    return DS_OK;
}
