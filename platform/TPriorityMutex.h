#pragma once
// A mutex with priority inheritance: while a thread of higher priority waits for it, its holder
// runs at that priority. The device's real-time thread shares its lock with ordinary threads
// (the stream thread copying a block in, the GUI thread reading the play cursor); on a busy
// machine such a thread can be put aside for milliseconds while it holds the lock, and the
// device would wait behind it. Meets the standard Lockable requirements, for std::lock_guard.
#include <pthread.h>

class TPriorityMutex {
public:
    TPriorityMutex();
    ~TPriorityMutex();
    TPriorityMutex(const TPriorityMutex&) = delete;
    TPriorityMutex& operator=(const TPriorityMutex&) = delete;

    void lock();
    void unlock();
    bool try_lock();

private:
    pthread_mutex_t mutex_;
};
