// Copies every SIP message the transports send or receive to a capture listener on this
// machine (by default "localhost" port 19060) over TCP, so that a viewer can show the traffic.
//
// notify runs on the transport threads and never blocks them: it copies the record into a
// bounded outgoing buffer and returns. The captor's own thread connects, writes the records
// in order, each whole, and sends a keep-alive every second. A record is dropped (and
// counted) when the captor is not connected or the buffer is full; a listener that takes
// nothing for SEND_DEADLINE is disconnected and the captor reconnects later.
#pragma once

#include "kel_util/CaptureRecord.h"
#include "kel_util/Socket.h"
#include "kel_util/SocketAddress.h"
#include "kel_util/Thread.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kel_util {

class MessageCaptor : public Thread {
public:
    static constexpr int DEFAULT_PORT = 19060;
    static constexpr std::size_t DEFAULT_BUFFER_LIMIT = 1 << 20;
    static constexpr std::chrono::milliseconds CONNECT_TIMEOUT{1000};
    static constexpr std::chrono::milliseconds RECONNECT_INTERVAL{1000};
    static constexpr std::chrono::milliseconds KEEP_ALIVE_INTERVAL{1000};
    static constexpr std::chrono::milliseconds SEND_DEADLINE{1000};

    // bufferLimit: the bytes of records that may wait for the listener.
    explicit MessageCaptor(std::size_t bufferLimit = DEFAULT_BUFFER_LIMIT);
    // Stops and joins the thread.
    ~MessageCaptor() override;

    // Sets the listener's address and starts the thread; a running captor drops its connection
    // and connects to the new address. False when the host does not resolve.
    bool init(int port = DEFAULT_PORT, const std::string& host = "localhost");
    // Any thread. Captures one message unless it is empty; never waits for the listener.
    void notify(const char* data, int length, capture::Direction direction, capture::Transport transport,
                const SocketAddress& source, const SocketAddress& destination);
    // Clears the running flag and wakes the thread; join() waits for it.
    void stop() override;

    bool isConnected() const noexcept { return connected_.load(std::memory_order_acquire); }
    // Messages that did not reach a listener: captured while disconnected, refused by a full
    // buffer, or still buffered when a connection ended.
    std::uint64_t getDroppedCount() const noexcept { return dropped_.load(std::memory_order_relaxed); }

    // The process-wide captor. startCaptor creates it on first use and (re)starts it; capture
    // forwards to it when it exists; cleanCaptor stops and destroys it.
    static bool startCaptor(int port = DEFAULT_PORT, const std::string& host = "localhost");
    static void captureMessage(const char* data, int length, capture::Direction direction, capture::Transport transport,
                        const SocketAddress& source, const SocketAddress& destination);
    static void cleanCaptor();

private:
    using Record = std::vector<char>;

    void run() override;
    bool connect();
    void serve();
    void disconnect();
    bool hasRoom(std::size_t size) const noexcept;
    bool enqueue(Record record);
    void drop(bool bufferFull);
    bool sendPending();
    bool sendWhole(const Record& record);
    bool readListener();
    // Waits on the socket (when connected) and the wake-up descriptor; the socket's poll events.
    short waitForWork(std::chrono::milliseconds timeout);
    void wake();

    const std::size_t bufferLimit_;
    const int wakeHandle_;  // an eventfd: notify and stop wake the thread with it

    std::mutex lock_;  // guards the fields below, and opening, closing and shutting the socket
    std::vector<SocketAddress> listener_;
    bool reconnect_ = false;
    std::deque<Record> pending_;
    std::atomic<std::size_t> pendingBytes_{0};  // written under lock_, read without it
    std::atomic<bool> dropping_{false};          // a run of drops has been logged

    Socket socket_;  // opened and closed by the captor's thread only
    std::atomic<bool> connected_{false};
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace kel_util
