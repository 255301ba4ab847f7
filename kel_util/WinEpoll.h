// A readiness poller over at most 64 sockets, on epoll. Each socket is registered one-shot:
// after it reported readiness once it stays silent until rearm, so that one reader at a time
// works on it. wake makes a wait return at once, so that the polling thread notices a stop.
//
// Threads: control and rearm may be called from any thread, also after close (they then fail);
// wait and wake are called while the poller is open, wait from one thread (the poller's); create
// and close by the owner.
#pragma once

#include <sys/epoll.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <unordered_set>

namespace kel_util {

class WinEpoll {
public:
    static constexpr int kMaxSockets = 64;
    // The events every socket is polled for: readable, the peer closed or reset.
    static constexpr std::uint32_t kReadMask = EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR;

    enum Operation { ADD = 1, DEL = 2, MOD = 3 };

    struct Ready {
        int handle;
        std::uint32_t events;
    };

    WinEpoll() = default;
    ~WinEpoll();
    WinEpoll(const WinEpoll&) = delete;
    WinEpoll& operator=(const WinEpoll&) = delete;

    // Prepares for up to sockets (1 to 64) sockets; false (with errno) when the system refuses,
    // when sockets is out of range or when created already.
    bool create(int sockets);
    // Closes the poller; the sockets themselves are left open.
    void close() noexcept;

    // ADD registers handle one-shot for mask; it fails when the handle is present or every
    // slot is taken. MOD re-arms a present handle with mask, DEL removes it. 0 on success,
    // -1 (errno set) on failure.
    int control(int operation, int handle, std::uint32_t mask);
    // After a reader is done with a socket: reports it again when it becomes ready.
    int rearm(int handle) { return control(MOD, handle, kReadMask); }

    // Waits up to timeout for ready sockets and fills at most capacity (1 or more) entries of ready: the
    // count, 0 on time-out or wake, -1 on failure (errno set). An interrupted wait counts as a
    // time-out.
    int wait(std::chrono::milliseconds timeout, Ready* ready, int capacity);
    // Ends the current or next wait at once.
    void wake();

    int getSocketCount() const;

private:
    // Written under mutex_ by create and close; wait and wake read them while open.
    int epoll_ = -1;
    int wakeEvent_ = -1;  // an eventfd in the epoll set beside the sockets, not counted
    int slots_ = 0;
    mutable std::mutex mutex_;
    std::unordered_set<int> handles_;  // guarded by mutex_
};

}  // namespace kel_util
