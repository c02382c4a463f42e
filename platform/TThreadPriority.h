#pragma once
// The scheduling of the threads that keep the sound going. A thread that hands sound to the
// device late, or renders it late, is heard as a gap; on a busy machine an ordinary thread can
// wait tens of milliseconds for a core. Where the system allows real-time scheduling (root,
// CAP_SYS_NICE, an RLIMIT_RTPRIO, or RealtimeKit on the system bus), the thread gets it; where
// it does not, it gets the lowest nice value it may have, and where not even that, it stays as
// it was. Nothing is reported: the sound plays either way, only its margin differs.
#include <cstdint>

class TThreadPriority {
public:
    enum class TGot { RealTime, Nice, Unchanged };

    // The calling thread: first-in-first-out real-time scheduling at priority realtime (1 .. 99;
    // 0 asks for none), else a nice value of at most niceFallback (never raised above the thread's own).
    static TGot RaiseCurrent(int realtime, int niceFallback);
};
