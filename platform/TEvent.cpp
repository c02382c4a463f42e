#include "TEvent.h"

#include <algorithm>
#include <chrono>

void TEvent::Set()
{
    std::lock_guard lock(mutex_);
    signalled_ = true;
    for (Waiter* w : waiters_) {
        std::lock_guard wl(w->mutex);
        w->woken = true;
        w->cv.notify_one();
    }
}

void TEvent::Reset()
{
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool TEvent::Wait(uint32_t ms)
{
    TEvent* self = this;
    return WaitAny(&self, 1, ms) == 0;
}

bool TEvent::TakeOrRegister(Waiter* waiter)
{
    std::lock_guard lock(mutex_);
    if (signalled_) {
        signalled_ = false;
        return true;
    }
    if (std::find(waiters_.begin(), waiters_.end(), waiter) == waiters_.end()) {
        waiters_.push_back(waiter);
    }
    return false;
}

void TEvent::Unregister(Waiter* waiter)
{
    std::lock_guard lock(mutex_);
    waiters_.erase(std::remove(waiters_.begin(), waiters_.end(), waiter), waiters_.end());
}

int TEvent::WaitAny(TEvent* const* events, int count, uint32_t ms)
{
    if (events == nullptr || count <= 0) {
        return Failed;
    }
    for (int i = 0; i < count; ++i) {
        if (events[i] == nullptr) {
            return Failed;
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    Waiter waiter;
    int taken = Timeout;
    for (;;) {
        // Registration happens under each event's lock together with the check, so a Set that
        // comes after the check always finds the waiter and wakes it.
        for (int i = 0; i < count && taken == Timeout; ++i) {
            if (events[i]->TakeOrRegister(&waiter)) {
                taken = i;
            }
        }
        if (taken != Timeout) {
            break;
        }
        std::unique_lock wl(waiter.mutex);
        if (ms == Infinite) {
            waiter.cv.wait(wl, [&] { return waiter.woken; });
        } else if (!waiter.cv.wait_until(wl, deadline, [&] { return waiter.woken; })) {
            break;
        }
        waiter.woken = false;
    }
    for (int i = 0; i < count; ++i) {
        events[i]->Unregister(&waiter);
    }
    return taken;
}
