#include "TThreadPriority.h"

#include <SDL.h>

#include <cerrno>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

TThreadPriority::TGot TThreadPriority::RaiseCurrent(int realtime, int niceFallback)
{
    const auto tid = static_cast<Sint64>(syscall(SYS_gettid));
    if (realtime > 0) {
        sched_param param{};
        param.sched_priority = realtime;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) {
            return TGot::RealTime;
        }
        // Without the right to real-time scheduling a desktop session usually has RealtimeKit,
        // which SDL asks over the system bus.
        if (SDL_LinuxSetThreadPriorityAndPolicy(tid, SDL_THREAD_PRIORITY_TIME_CRITICAL, SCHED_RR) == 0) {
            return TGot::RealTime;
        }
    }
    errno = 0;
    const int now = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno == 0 && now <= niceFallback) {
        return TGot::Unchanged;
    }
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), niceFallback) == 0) {
        return TGot::Nice;
    }
    return SDL_LinuxSetThreadPriority(tid, niceFallback) == 0 ? TGot::Nice : TGot::Unchanged;
}
