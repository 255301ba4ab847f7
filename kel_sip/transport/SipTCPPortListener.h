// The thread that accepts TCP connections on the transport's port and hands each one to its
// owner (SipTCPPortListenerExt). A listen socket that fails is closed and opened again every
// reopen interval. When the process or the system runs out of descriptors or memory, accept
// fails while the connection waits in the backlog: the listener then logs and pauses before it
// tries again, instead of spinning on a socket that stays readable.
//
// Threads: the owner calls the setters, open, start and stop; onAccepted runs on this thread.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>

#include "kel_util/Cond.h"
#include "kel_util/Socket.h"
#include "kel_util/SocketException.h"
#include "kel_util/SocketAddress.h"
#include "kel_util/Thread.h"

namespace kel_sip {

class SipTCPPortListenerExt {
public:
    virtual ~SipTCPPortListenerExt() = default;
    // Takes an accepted connection; false when it was refused (the socket is then closed).
    virtual bool onAccepted(std::unique_ptr<kel_util::Socket> socket, const kel_util::SocketAddress& peer) = 0;
};

class SipTCPPortListener : public kel_util::Thread {
public:
    static constexpr int kListenBackLog = 0x7fffffff;  // the system cuts it to its own maximum

    explicit SipTCPPortListener(SipTCPPortListenerExt& owner) : owner_(owner) {}
    ~SipTCPPortListener() override;

    // TCPAcceptTOMSec: how long one accept waits before the thread looks at its running flag.
    void setAcceptTimeout(std::chrono::milliseconds timeout) noexcept { acceptTimeout_ = timeout; }
    std::chrono::milliseconds getAcceptTimeout() const noexcept { return acceptTimeout_; }
    void setReopenInterval(std::chrono::milliseconds interval) noexcept { reopenInterval_ = interval; }
    // The pause after accept failed for want of descriptors or memory.
    void setResourcePause(std::chrono::milliseconds pause) noexcept { resourcePause_ = pause; }

    // Opens the listen socket on address; throws SocketException (BIND when the port is taken).
    void open(const kel_util::SocketAddress& address);
    // Sets the address for a listener whose first open failed; the thread keeps trying.
    void setAddress(const kel_util::SocketAddress& address);
    // The bound address (the port the system chose for port 0); throws SocketException while
    // the socket is closed.
    kel_util::SocketAddress getLocalAddress();
    // Clears the running flag, wakes and joins the thread, closes the socket.
    void stop() override;

private:
    void run() override;
    // Opens a closed listen socket; false, after the reopen interval, when that fails.
    bool ensureOpen();
    void _open();
    void acceptOne();
    // A failed accept: pauses, goes on, or closes the listen socket for a reopen.
    void onAcceptFailure(const kel_util::SocketException& error);
    void closeListen();
    // Waits up to interval, or until stop.
    void pause(std::chrono::milliseconds interval);

    SipTCPPortListenerExt& owner_;
    std::atomic<std::chrono::milliseconds> acceptTimeout_{std::chrono::milliseconds(1000)};
    std::atomic<std::chrono::milliseconds> reopenInterval_{std::chrono::milliseconds(3000)};
    std::atomic<std::chrono::milliseconds> resourcePause_{std::chrono::milliseconds(1000)};
    kel_util::Cond socketLock_;  // guards open and close of listen_ and wakes pauses
    kel_util::Socket listen_;    // accepted on without the lock: only this thread closes it while running
    kel_util::SocketAddress address_;  // guarded by socketLock_
};

}  // namespace kel_sip
