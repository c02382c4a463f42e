#pragma once
// TComPtr: one owned reference to an object of the DirectSound stand-in (anything with AddRef
// and Release). The reference is let go when the pointer is reset, given a new object or
// destroyed, so no owner writes Release itself and none is forgotten on an early return.
//
// An owner that must let go of several objects in a fixed order, or trace each release, calls
// Reset on each in that order; the destructor only covers what is still held.
#include <cstddef>
#include <utility>

template <class T>
class TComPtr {
public:
    TComPtr() = default;
    // Takes over the reference the caller holds (as a creating call hands it out).
    explicit TComPtr(T* object) : object_(object) {}
    // A reference of its own to an object someone else holds too.
    static TComPtr Share(T* object)
    {
        if (object != nullptr)
            object->AddRef();
        return TComPtr(object);
    }

    ~TComPtr() { Reset(); }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    TComPtr(TComPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    TComPtr& operator=(TComPtr&& other) noexcept
    {
        if (this != &other) {
            Reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }

    // Lets go of the reference held, if any. Returns true when there was one.
    bool Reset()
    {
        T* object = std::exchange(object_, nullptr);
        if (object == nullptr)
            return false;
        object->Release();
        return true;
    }

    // For a creating call's out parameter: what was held is let go first, and the reference the
    // call writes is owned from then on.
    T** Put()
    {
        Reset();
        return &object_;
    }
    // The same for QueryInterface, which writes an untyped pointer.
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    T* Get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    friend bool operator==(const TComPtr& p, std::nullptr_t) { return p.object_ == nullptr; }

private:
    T* object_ = nullptr;
};
