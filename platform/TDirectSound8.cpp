#include "TDirectSound8.h"

#include "TDirectSoundBuffer.h"
#include "TDirectSoundMixer.h"
#include "TDirectSoundPrimaryBuffer.h"

#include <new>

namespace {
// The description's size as a 32-bit Windows program fills it (36), the older form without the
// 3D algorithm (20), and this platform's own size.
bool KnownDescSize(DWORD size)
{
    return size == 36 || size == 20 || size == sizeof(DSBUFFERDESC);
}
}

TDirectSound8::TDirectSound8(std::shared_ptr<TDirectSoundMixer> mixer) : mixer_(std::move(mixer)) {}

HRESULT TDirectSound8::SetCooperativeLevel(HWND, DWORD level)
{
    if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) {
        return DSERR_INVALIDPARAM;
    }
    level_ = level;
    return DS_OK;
}

HRESULT TDirectSound8::CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer)
{
    if (buffer == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    *buffer = nullptr;
    if (outer != nullptr) {
        return DSERR_NOAGGREGATION;
    }
    if (desc == nullptr || !KnownDescSize(desc->dwSize)) {
        return DSERR_INVALIDPARAM;
    }
    if ((desc->dwFlags & DSBCAPS_PRIMARYBUFFER) != 0) {
        if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr) {
            return DSERR_INVALIDPARAM;
        }
        IDirectSoundBuffer* primary = new (std::nothrow) TDirectSoundPrimaryBuffer(mixer_, desc->dwFlags);
        if (primary == nullptr) {
            return DSERR_OUTOFMEMORY;
        }
        *buffer = primary;
        return DS_OK;
    }
    const WAVEFORMATEX* f = desc->lpwfxFormat;
    if (f == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    // The mix takes one format only, the device's own.
    if (f->wFormatTag != WAVE_FORMAT_PCM || f->nChannels != DSOutputChannels || f->nSamplesPerSec != DSOutputRate ||
        f->wBitsPerSample != DSOutputBits || f->nBlockAlign != DSOutputChannels * DSOutputBits / 8 ||
        f->nAvgBytesPerSec != DSOutputRate * f->nBlockAlign) {
        return DSERR_BADFORMAT;
    }
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX ||
        desc->dwBufferBytes % f->nBlockAlign != 0) {
        return DSERR_INVALIDPARAM;
    }
    try {
        *buffer = new TDirectSoundBuffer(mixer_, desc->dwFlags, desc->dwBufferBytes);
    } catch (const std::bad_alloc&) {
        return DSERR_OUTOFMEMORY;
    }
    return DS_OK;
}
