// A thread that receives datagrams on a UDP port and hands each one to a DatagramReceiver on
// this thread, so that a received message is worked on without a hand-off to another thread.
// A socket that fails is closed and reopened every reopen interval, so the service outlives
// socket errors and a port that is taken at start (when that is tolerated). Datagrams the
// system dropped because the socket's buffer was full are reported at most once a second.
//
// Threads: the owner calls the setters, init and stop; sendTo may be called from any thread.
#pragma once

#include "kel_util/Thread.h"
#include "kel_util/UDPSenderBase.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kel_util {

class DatagramReceiver;

class UDPPortListener : public UDPSenderBase, public Thread {
public:
    static constexpr int DEFAULT_RECEIVE_BUFFER_SIZE = 0xffff;

    UDPPortListener() = default;
    // Stops the thread and closes the socket.
    ~UDPPortListener() override;

    // Settings, read by init and by each reopen.
    void setReceiver(DatagramReceiver* receiver) noexcept { receiver_ = receiver; }
    // Both the receive buffer and the socket's send and receive buffers; 0 or more.
    void setReceiveBufferSize(int size) noexcept {
        receiveBufferSize_ = size;
        socketBufferSize_ = size;
    }
    // The socket's send and receive buffers alone (after setReceiveBufferSize): a bigger one
    // holds a burst of datagrams while the thread works on one.
    void setSocketBufferSize(int size) noexcept { socketBufferSize_ = size; }
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
    void closeAfterError();
    // At most once a second: logs the datagrams the system dropped since the last look.
    void reportSocketDrops();

    DatagramReceiver* receiver_ = nullptr;
    int receiveBufferSize_ = DEFAULT_RECEIVE_BUFFER_SIZE;
    int socketBufferSize_ = DEFAULT_RECEIVE_BUFFER_SIZE;
    std::uint32_t socketDrops_ = 0;  // the socket's drop count at the last look
    std::chrono::steady_clock::time_point lastDropCheck_{};
    std::chrono::milliseconds receiveTimeout_{1000};
    std::chrono::milliseconds reopenInterval_{1000};
    int tos_ = -1;
    int ttl_ = -1;
    std::string device_;  // only printed
    SocketAddress address_;
};

}  // namespace kel_util
