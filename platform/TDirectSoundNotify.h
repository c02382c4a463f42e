#pragma once
// The notification interface of a secondary buffer. It holds a reference to its buffer, so the
// buffer lives until both have been released.
#include "DirectSound.h"

#include <atomic>

class TDirectSoundBuffer;

class TDirectSoundNotify : public IDirectSoundNotify8 {
public:
    explicit TDirectSoundNotify(TDirectSoundBuffer* buffer);

    HRESULT QueryInterface(const GUID& iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT SetNotificationPositions(DWORD count, const DSBPOSITIONNOTIFY* positions) override;

private:
    ~TDirectSoundNotify() override;

    std::atomic<ULONG> refs_{1};
    TDirectSoundBuffer* buffer_;
};
