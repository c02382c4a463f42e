#pragma once
// TSignalBridge: the requests to end that come from outside the program (SIGTERM from a shutdown
// or `kill`, SIGINT from Ctrl+C in a terminal, SIGHUP when the session ends) reach the GUI thread
// as a call, so the player ends as its quit command does and keeps its settings. The handler only
// writes the signal's number into a socket pair; a notifier on the other end makes the call from
// the message loop. One bridge at a time; destroying it gives the signals their old handlers back.
#include <QObject>

#include <array>
#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;

class TSignalBridge : public QObject {
    Q_OBJECT
public:
    explicit TSignalBridge(std::function<void()> onRequest);
    ~TSignalBridge() override;
    TSignalBridge(const TSignalBridge&) = delete;
    TSignalBridge& operator=(const TSignalBridge&) = delete;

    // True once a request has been delivered (a loop that was not running yet missed its end).
    bool Received() const { return received_; }

private:
    void Deliver();

    std::function<void()> onRequest_;
    std::array<int, 2> ends_{-1, -1};  // [0] read by the notifier, [1] written by the handler
    std::array<struct sigaction, 3> previous_{};
    std::unique_ptr<QSocketNotifier> notifier_;
    bool received_ = false;
};
