// A thread that receives datagrams on a UDP port and posts each one, as a Datagram, to an
// EventHandler. A socket that fails is closed and reopened every reopen interval, so the
// service outlives socket errors and a port that is taken at start (when that is tolerated).
//
// Posted events: (eventType, param1 = Datagram*, param2 = 0, from = this listener as a
// UDPSenderBase*, at the tail). The receiving handler owns the Datagram.
//
// Threads: the owner calls the setters, init and stop; sendTo may be called from any thread.
#pragma once

#include "kel_util/Thread.h"
#include "kel_util/UDPSenderBase.h"

#include <chrono>
#include <string>
#include <vector>

namespace kel_util {

class EventHandler;

class UDPPortListener : public UDPSenderBase, public Thread {
public:
    static constexpr int DEFAULT_RECEIVE_BUFFER_SIZE = 0xffff;

    UDPPortListener() = default;
    // Stops the thread and closes the socket.
    ~UDPPortListener() override;

    // Settings, read by init and by each reopen.
    void setTarget(EventHandler* target, int eventType) noexcept;
    // Both the receive buffer and the socket's send and receive buffers; 0 or more.
    void setReceiveBufferSize(int size) noexcept { receiveBufferSize_ = size; }
    // 0 waits without limit (stop still wakes the thread).
    void setReceiveTimeout(std::chrono::milliseconds timeout) noexcept { receiveTimeout_ = timeout; }
    void setReopenInterval(std::chrono::milliseconds interval) noexcept { reopenInterval_ = interval; }
    // -1 leaves the platform's value alone.
    void setTOS(int tos) noexcept { tos_ = tos; }
    void setTTL(int ttl) noexcept { ttl_ = ttl; }

    // Resolves (port, host, family) and calls the other init; false when it does not resolve.
    bool init(int port, const char* host, int family, bool tolerateBindFailure, const std::string& device);
    // Opens the socket and starts the thread. A failure to open throws SocketException, except
    // a bind failure when tolerated: the thread then keeps trying to bind. False when already
    // running or open, or when the thread does not start.
    bool init(const SocketAddress& address, bool tolerateBindFailure, const std::string& device);
    // Clears the running flag, wakes and joins the thread, then closes the socket.
    void stop() override;

    const SocketAddress& getAddress() const noexcept { return address_; }

private:
    void run() override;
    // Reopens a closed or retired socket; false (after waiting the reopen interval) on failure.
    bool ensureOpen();
    void receiveOne(std::vector<char>& buffer);
    void post(const char* data, int length, const SocketAddress& from);
    void closeAfterError();

    EventHandler* target_ = nullptr;
    int eventType_ = 0;
    int receiveBufferSize_ = DEFAULT_RECEIVE_BUFFER_SIZE;
    std::chrono::milliseconds receiveTimeout_{1000};
    std::chrono::milliseconds reopenInterval_{1000};
    int tos_ = -1;
    int ttl_ = -1;
    std::string device_;  // only printed
    SocketAddress address_;
};

}  // namespace kel_util
