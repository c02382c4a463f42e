#include "TDirectSoundNotify.h"

#include "TDirectSoundBuffer.h"

TDirectSoundNotify::TDirectSoundNotify(TDirectSoundBuffer* buffer) : buffer_(buffer)
{
    buffer_->AddRef();
}

TDirectSoundNotify::~TDirectSoundNotify()
{
    buffer_->Release();
}

HRESULT TDirectSoundNotify::QueryInterface(const GUID& iid, void** object)
{
    if (object == nullptr) {
        return DSERR_INVALIDPARAM;
    }
    *object = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDirectSoundNotify8) {
        AddRef();
        *object = static_cast<IDirectSoundNotify8*>(this);
        return DS_OK;
    }
    return buffer_->QueryInterface(iid, object);
}

ULONG TDirectSoundNotify::AddRef()
{
    return refs_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG TDirectSoundNotify::Release()
{
    const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT TDirectSoundNotify::SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions)
{
    return buffer_->SetNotificationPositions(count, positions);
}
