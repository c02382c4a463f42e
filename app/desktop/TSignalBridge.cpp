#include "TSignalBridge.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr std::array<int, 3> Signals = {SIGTERM, SIGINT, SIGHUP};

// The handler may run on any thread, the sound threads included: a lock-free value is all it reads.
std::atomic<int> handlerEnd{-1};
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void OnSignal(int signal)
{
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    // The end does not block: when the pair is full, requests are waiting already.
    if (::write(handlerEnd.load(), &byte, 1) < 0) {
    }
    errno = saved;
}
}

TSignalBridge::TSignalBridge(std::function<void()> onRequest) : onRequest_(std::move(onRequest))
{
    // Without the pair the signals keep their usual effect; the program still runs.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends_.data()) != 0)
        return;
    handlerEnd = ends_[1];
    notifier_ = std::make_unique<QSocketNotifier>(ends_[0], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TSignalBridge::Deliver);

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    // The sound threads' waits and reads go on undisturbed.
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < Signals.size(); ++i)
        ::sigaction(Signals[i], &action, &previous_[i]);
}

TSignalBridge::~TSignalBridge()
{
    if (ends_[0] < 0)
        return;
    for (size_t i = 0; i < Signals.size(); ++i)
        ::sigaction(Signals[i], &previous_[i], nullptr);
    handlerEnd = -1;
    notifier_.reset();
    for (int end : ends_)
        ::close(end);
}

void TSignalBridge::Deliver()
{
    // Several signals in a row are one request.
    unsigned char bytes[16];
    while (::read(ends_[0], bytes, sizeof bytes) > 0) {
    }
    received_ = true;
    if (onRequest_)
        onRequest_();
}
