// DirectSoundCreate8 and the interface identifiers.
#include "DirectSound.h"

#include "TDirectSound8.h"
#include "TDirectSoundMixer.h"

#include <cstring>
#include <new>

const GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID IID_IDirectSoundBuffer = {0x279AFA85, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
const GUID IID_IDirectSoundNotify8 = {0xB0210783, 0x89CD, 0x11D0, {0xAF, 0x08, 0x00, 0xA0, 0xC9, 0x25, 0xCD, 0x16}};

bool operator==(const GUID& a, const GUID& b)
{
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

HRESULT DirectSoundCreate8(const GUID* deviceGuid, IDirectSound8** device, IUnknown* outer)
{
    if (device == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    *device = nullptr;
    if (outer != nullptr) {
        return DSERR_NOAGGREGATION;
    }
    if (deviceGuid != nullptr) {
        return DSERR_NODRIVER;  // only the default device is known here
    }
    bool lacking = false;
    std::shared_ptr<TDirectSoundMixer> mixer = TDirectSoundMixer::Open(&lacking);
    if (!mixer) {
        return lacking ? DSERR_OUTOFMEMORY : DSERR_NODRIVER;
    }
    IDirectSound8* created = new (std::nothrow) TDirectSound8(std::move(mixer));
    if (created == nullptr) {
        return DSERR_OUTOFMEMORY;
    }
    *device = created;
    return DS_OK;
}
