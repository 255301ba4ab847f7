// One connection of a connection-oriented transport: its socket, the two addresses, the
// bytes received but not yet taken as a message, and the flags of its two timers.
//
// Threads: a connection is used by one thread at a time, the holder of its entry lock in
// SipConnectionList; the socket is closed (close) with the list locked, so that its descriptor
// number leaves the list's index in the same step as it becomes free for reuse.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_util/Clock.h"
#include "kel_util/Socket.h"
#include "kel_util/SocketAddress.h"

namespace kel_sip {

class SipConnection {
public:
    static constexpr int kReceiveBufferSize = 4096;

    // Results of receive.
    enum ReceiveResult : int {
        RECEIVE_MESSAGE = 1,     // message filled in
        RECEIVE_NOTHING = 0,     // not a whole message yet
        RECEIVE_FAILED = -1,     // the connection is unusable
        RECEIVE_KEEPALIVE = -2,  // a bare line end between messages
    };

    // Process-wide values of every connection (TCPConnectTOMSec, TCPReceiveTOMSec,
    // TCPSendTOMSec); set at start and when the settings change.
    static void setConnectTimeout(std::chrono::milliseconds timeout) noexcept { connectTimeout_ = timeout; }
    static void setReceiveTimeout(std::chrono::milliseconds timeout) noexcept { receiveTimeout_ = timeout; }
    static void setSendTimeout(std::chrono::milliseconds timeout) noexcept { sendTimeout_ = timeout; }
    static std::chrono::milliseconds getConnectTimeout() noexcept { return connectTimeout_; }
    static std::chrono::milliseconds getReceiveTimeout() noexcept { return receiveTimeout_; }
    static std::chrono::milliseconds getSendTimeout() noexcept { return sendTimeout_; }

    // socket: connected; peer: its remote address. The local address is read from the socket;
    // throws SocketException when it cannot be.
    SipConnection(std::unique_ptr<kel_util::Socket> socket, const kel_util::SocketAddress& peer);
    virtual ~SipConnection();
    SipConnection(const SipConnection&) = delete;
    SipConnection& operator=(const SipConnection&) = delete;

    // Prints message and writes all of it within the send time-out: 1 on success, -1 when the
    // socket failed, was closed, or the time ran out.
    virtual int send(SipMessageExt& message, int transactionId);
    // Takes the next message out of the received bytes (a ReceiveResult). May throw
    // SocketException; the caller then drops the connection.
    virtual int receive(std::unique_ptr<SipMessageExt>& message) = 0;
    // "TCP" and so on.
    virtual const char* getTransportName() const = 0;
    // Closes the socket (with the list locked, see above); never throws.
    virtual void close() noexcept;
    // Ends traffic both ways without freeing the descriptor: the peer sees the end, and a read
    // or write on this side fails. Never throws.
    void shutdown() noexcept;
    // Ends a connection that is not taken: the end of the stream first, then what the peer
    // sent already is read and dropped, so that the close reaches the peer as an orderly end
    // and not as a reset that may cost it the whole run. Never throws.
    void refuse() noexcept;

    // Sends small segments at once (TCP_NODELAY); false when the socket refuses.
    bool setNoDelay() noexcept;
    // True when received bytes wait in the buffer or the socket is readable now.
    bool isDataPending();

    int getId() const noexcept { return id_; }
    void setId(int id) noexcept { id_ = id; }
    // The descriptor number the connection was made with; it stays after close.
    int getHandle() const noexcept { return handle_; }
    const kel_util::SocketAddress& getPeerAddress() const noexcept { return peer_; }
    const kel_util::SocketAddress& getLocalAddress() const noexcept { return local_; }

    // Guarded by the entry lock.
    bool idleTimerRunning = false;
    // When the running idle timer expires; an expiry seen before it belongs to a timer that
    // was replaced after it had fired already.
    kel_util::ClockSource::TimePoint idleDeadline{};
    bool appTimerRunning = false;
    int keepAliveCount = 0;

protected:
    kel_util::Socket& socket() noexcept { return *socket_; }
    // True when bytes already received may hold a message (isDataPending).
    virtual bool hasBufferedBytes() const noexcept { return length_ > 0; }
    // Writes all bytes within the send time-out; false, logged, on failure or time-out.
    bool sendAll(const std::string& bytes);
    // Reads what the socket holds now into the free end of the buffer: the bytes read, 0 when
    // the buffer is full or nothing is waiting. Throws SocketException (peer closed, reset).
    int fillBuffer();
    // Drops count bytes from the front of the buffer.
    void consume(int count) noexcept;
    const char* bufferData() const noexcept { return buffer_; }
    int bufferLength() const noexcept { return length_; }

private:
    static std::atomic<std::chrono::milliseconds> connectTimeout_;
    static std::atomic<std::chrono::milliseconds> receiveTimeout_;
    static std::atomic<std::chrono::milliseconds> sendTimeout_;

    std::unique_ptr<kel_util::Socket> socket_;
    const int handle_;
    int id_ = 0;
    kel_util::SocketAddress peer_;
    kel_util::SocketAddress local_;
    char buffer_[kReceiveBufferSize];
    int length_ = 0;
};

}  // namespace kel_sip
