#include "TDirectSoundPrimaryBuffer.h"

#include "TDirectSoundMixer.h"

TDirectSoundPrimaryBuffer::TDirectSoundPrimaryBuffer(std::shared_ptr<TDirectSoundMixer> mixer, DWORD flags)
    : TDirectSoundBufferBase(std::move(mixer), flags)
{
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

void TDirectSoundPrimaryBuffer::ApplyVolume(LONG volume)
{
    volume_ = volume;
    mixer_->SetMasterVolume(volume);
}
