#pragma once
// What every object of the DirectSound stand-in does alike: a reference count whose last Release
// frees the object, and QueryInterface answering IID_IUnknown and the object's own interface
// with another reference. Other identifiers go to QueryOther.
#include "DirectSound.h"

#include <atomic>

template <typename Interface, const GUID* OwnIid>
class TComObject : public Interface {
public:
    HRESULT QueryInterface(const GUID& iid, void** object) final
    {
        if (object == nullptr) {
            return DSERR_INVALIDPARAM;
        }
        *object = nullptr;
        if (iid == IID_IUnknown || iid == *OwnIid) {
            AddRef();
            *object = static_cast<Interface*>(this);
            return DS_OK;
        }
        return QueryOther(iid, object);
    }

    ULONG AddRef() final { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }

    ULONG Release() final
    {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    TComObject() = default;
    ~TComObject() override = default;

    // An identifier other than IID_IUnknown and the own one; *object is null on entry.
    virtual HRESULT QueryOther(const GUID& /*iid*/, void** /*object*/) { return E_NOINTERFACE; }

private:
    std::atomic<ULONG> refs_{1};
};
