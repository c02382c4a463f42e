#include "TDirectSoundNotify.h"

#include "TDirectSoundBuffer.h"

TDirectSoundNotify::TDirectSoundNotify(TDirectSoundBuffer* buffer) : buffer_(TComPtr<TDirectSoundBuffer>::Share(buffer))
{
}

// The buffer's reference goes with buffer_.
TDirectSoundNotify::~TDirectSoundNotify() = default;

HRESULT TDirectSoundNotify::QueryOther(const GUID& iid, void** object)
{
    return buffer_->QueryInterface(iid, object);
}

HRESULT TDirectSoundNotify::SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions)
{
    return buffer_->SetNotificationPositions(count, positions);
}
