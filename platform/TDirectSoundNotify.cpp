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

HRESULT TDirectSoundNotify::QueryOther(const GUID& iid, void** object)
{
    return buffer_->QueryInterface(iid, object);
}

HRESULT TDirectSoundNotify::SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions)
{
    return buffer_->SetNotificationPositions(count, positions);
}
