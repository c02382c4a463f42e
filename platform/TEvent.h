#pragma once
// An auto-reset event: Set wakes one waiter, which takes the signal and leaves the event unset.
// WaitAny waits for the first of several events, as WaitForMultipleObjects does without waitAll.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class TEvent {
public:
    static constexpr uint32_t Infinite = 0xFFFFFFFFu;
    static constexpr int Timeout = -1;
    static constexpr int Failed = -2;

    TEvent() = default;
    ~TEvent() = default;
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void Set();
    void Reset();
    // True when the event was signalled within ms milliseconds (Infinite waits for ever).
    bool Wait(uint32_t ms = Infinite);

    // Index of the event taken (the lowest index when several are set), Timeout when none came
    // within ms milliseconds, Failed for no events or a null one.
    static int WaitAny(TEvent* const* events, int count, uint32_t ms = Infinite);

private:
    // One thread waiting in WaitAny, registered with each event it waits for.
    struct Waiter {
        std::mutex mutex;
        std::condition_variable cv;
        bool woken = false;
    };

    bool TakeOrRegister(Waiter* waiter);
    void Unregister(Waiter* waiter);

    std::mutex mutex_;
    bool signalled_ = false;
    std::vector<Waiter*> waiters_;
};
