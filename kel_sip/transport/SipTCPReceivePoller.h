// The thread that waits for readable connections and hands each ready socket to its owner.
// Sockets are polled one-shot (WinEpoll): a socket reported once stays silent until the reader
// that took it calls rearm, so that one socket never reaches two readers at once.
//
// Threads: the owner calls setPollMaxEvents, init and stop; addPollTarget, removePollTarget and
// rearm may be called from any thread; the owner's callback runs on this thread.
#pragma once

#include <atomic>
#include <functional>

#include "kel_util/Thread.h"
#include "kel_util/WinEpoll.h"

namespace kel_sip {

class SipTCPReceivePoller : public kel_util::Thread {
public:
    using PollEvent = std::function<void(int handle)>;

    static constexpr int kWaitTimeoutMs = 1000;

    explicit SipTCPReceivePoller(PollEvent onPollEvent) : onPollEvent_(std::move(onPollEvent)) {}
    ~SipTCPReceivePoller() override;

    // The most sockets taken from one wait, and the number polled (clamped to 1..64).
    void setPollMaxEvents(int count);

    // Creates the poller and starts the thread; false, logged, on failure.
    bool init();
    // Clears the running flag, wakes and joins the thread, closes the poller.
    void stop() override;

    // False when the socket is present or every slot is taken.
    bool addPollTarget(int handle);
    void removePollTarget(int handle);
    // False when the socket is no longer polled.
    bool rearm(int handle);

private:
    void run() override;

    PollEvent onPollEvent_;
    std::atomic<int> maxEvents_{kel_util::WinEpoll::kMaxSockets};
    kel_util::WinEpoll epoll_;
};

}  // namespace kel_sip
