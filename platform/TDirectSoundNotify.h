#pragma once
// The notification interface of a secondary buffer. It holds a reference to its buffer, so the
// buffer lives until both have been released.
#include "TComObject.h"
#include "TComPtr.h"

class TDirectSoundBuffer;

class TDirectSoundNotify : public TComObject<IDirectSoundNotify8, &IID_IDirectSoundNotify8> {
public:
    explicit TDirectSoundNotify(TDirectSoundBuffer* buffer);

    HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) override;

private:
    ~TDirectSoundNotify() override;
    // Any other interface is the buffer's.
    HRESULT QueryOther(const GUID& iid, void** object) override;

    TComPtr<TDirectSoundBuffer> buffer_;
};
