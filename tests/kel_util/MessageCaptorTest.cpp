#include "kel_util/MessageCaptor.h"

#include "CaptureStream.h"
#include "LoopbackSupport.h"
#include "Waiting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>
#include <mutex>
#include <vector>
#include <thread>

using namespace std::chrono_literals;
using kel_util::DatagramSocket;
using kel_util::MessageCaptor;
using kel_util::Socket;
using kel_util::SocketAddress;
using kel_util::capture::Direction;
using kel_util::capture::Transport;
using kel_test::CapturedRecord;
using kel_test::eventually;
using kel_test::loopback;

namespace {

std::size_t countOfType(const std::vector<CapturedRecord>& records, int type) {
    std::size_t count = 0;
    for (const auto& record : records) count += record.type == type ? 1 : 0;
    return count;
}

// A capture listener on 127.0.0.1 that accepts connections one after another and, when
// reading, decodes the records of the current one.
class TestCaptureListener {
public:
    explicit TestCaptureListener(bool reading, int receiveBufferSize = -1) : reading_(reading) {
        socket_.open(AF_INET, SOCK_STREAM);
        if (receiveBufferSize > 0) socket_.setReceiveBufferSize(receiveBufferSize);
        socket_.bind(loopback(AF_INET));
        socket_.listen(4);
        thread_ = std::thread([this] { serve(); });
    }
    ~TestCaptureListener() {
        running_ = false;
        thread_.join();
    }

    int port() const { return socket_.getLocalAddress().getPort(); }
    int connections() const { return connections_; }
    std::vector<CapturedRecord> records() {
        std::lock_guard<std::mutex> guard(monitor_.mutex());
        return records_;
    }
    // Waits until the decoded records hold count messages and at least keepAlives keep-alives.
    bool waitRecords(std::size_t count, std::size_t keepAlives = 0,
                     std::chrono::milliseconds limit = kel_test::kGenerous) {
        return monitor_.waitFor([&] { return countOfType(records_, 1) >= count && countOfType(records_, 0) >= keepAlives; },
                                limit);
    }
    bool malformed() const { return malformed_; }
    // Ends the current connection; the captor has to connect again.
    void dropConnection() { dropRequested_ = true; }

private:
    void serve() {
        std::vector<std::unique_ptr<Socket>> held;  // connections kept open but never read
        while (running_) {
            auto connection = std::make_unique<Socket>();
            SocketAddress peer;
            if (!socket_.accept(*connection, peer, 20ms)) continue;
            ++connections_;
            if (reading_) {
                readRecords(*connection);
            } else {
                held.push_back(std::move(connection));
            }
        }
    }

    void readRecords(Socket& connection) {
        std::string stream;
        while (running_ && !dropRequested_) {
            char buffer[4096];
            int received = 0;
            try {
                received = connection.receive(buffer, sizeof buffer, 20ms);
            } catch (const std::exception&) {
                break;
            }
            stream.append(buffer, static_cast<std::size_t>(received));
            CapturedRecord record;
            bool malformed = false;
            while (kel_test::takeRecord(stream, record, malformed)) {
                if (malformed) malformed_ = true;
                monitor_.update([&] { records_.push_back(record); });
            }
        }
        dropRequested_ = false;
    }

    const bool reading_;
    Socket socket_;
    std::thread thread_;
    std::atomic<bool> running_{true};
    std::atomic<bool> dropRequested_{false};
    std::atomic<int> connections_{0};
    std::atomic<bool> malformed_{false};
    kel_test::Monitor monitor_;
    std::vector<CapturedRecord> records_;  // guarded by monitor_
};

SocketAddress address(const char* host, int port) {
    SocketAddress result;
    result.set(port, host, AF_UNSPEC);
    return result;
}

}  // namespace

TEST(MessageCaptor, MessagesReachTheListenerAsWholeRecordsInOrderWithKeepAlives) {
    TestCaptureListener listener(true);
    MessageCaptor captor;
    ASSERT_TRUE(captor.init(listener.port(), "127.0.0.1"));
    ASSERT_TRUE(eventually([&] { return captor.isConnected(); }));

    const SocketAddress local = address("127.0.0.1", 5060);
    const SocketAddress peer = address("::1", 5070);
    constexpr int COUNT = 200;
    for (int i = 0; i < COUNT; ++i) {
        const std::string message = "MESSAGE " + std::to_string(i) + std::string("\0\r\n", 3) + std::string(i * 7, 'b');
        captor.notify(message.data(), static_cast<int>(message.size()), i % 2 == 0 ? Direction::SENT : Direction::RECEIVED,
                      i % 2 == 0 ? Transport::UDP : Transport::TCP, local, peer);
    }
    captor.notify("ignored", 0, Direction::SENT, Transport::UDP, local, peer);
    ASSERT_TRUE(listener.waitRecords(COUNT, 1));
    EXPECT_FALSE(listener.malformed());
    std::vector<CapturedRecord> messages;
    for (const auto& record : listener.records()) {
        if (record.type == 1) messages.push_back(record);
    }
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch());
    for (int i = 0; i < COUNT; ++i) {
        const CapturedRecord& record = messages[static_cast<std::size_t>(i)];
        EXPECT_EQ(record.message, "MESSAGE " + std::to_string(i) + std::string("\0\r\n", 3) + std::string(i * 7, 'b'));
        EXPECT_EQ(record.direction, i % 2);
        EXPECT_EQ(record.transport, i % 2 + 1);
        EXPECT_LE(now.count() - static_cast<long>(record.seconds), 60);
    }
    EXPECT_EQ(messages[0].source.family, 4);
    EXPECT_EQ(messages[0].source.port, 5060);
    EXPECT_EQ(messages[0].source.bytes, std::string("\x7f\0\0\x01", 4));
    EXPECT_EQ(messages[0].destination.family, 6);
    EXPECT_EQ(messages[0].destination.port, 5070);
    EXPECT_EQ(messages[0].destination.bytes, std::string(15, '\0') + "\x01");
    EXPECT_EQ(captor.getDroppedCount(), 0u);
}

TEST(MessageCaptor, WithoutAListenerNothingIsCapturedAndTheCaptorKeepsTrying) {
    const int port = kel_test::freePort(AF_INET, SOCK_STREAM);
    MessageCaptor captor;
    ASSERT_TRUE(captor.init(port, "127.0.0.1"));
    captor.notify("INVITE", 6, Direction::SENT, Transport::UDP, address("127.0.0.1", 1), address("127.0.0.1", 2));
    EXPECT_FALSE(captor.isConnected());
    EXPECT_EQ(captor.getDroppedCount(), 1u);

    // A listener that appears later is found.
    Socket late;
    late.open(AF_INET, SOCK_STREAM);
    late.bind(loopback(AF_INET, port));
    late.listen(1);
    EXPECT_TRUE(eventually([&] { return captor.isConnected(); }));
}

TEST(MessageCaptor, ReconnectsAfterTheListenerDropsTheConnection) {
    TestCaptureListener listener(true);
    MessageCaptor captor;
    ASSERT_TRUE(captor.init(listener.port(), "127.0.0.1"));
    ASSERT_TRUE(eventually([&] { return listener.connections() == 1 && captor.isConnected(); }));
    listener.dropConnection();
    ASSERT_TRUE(eventually([&] { return listener.connections() == 2; }));
    ASSERT_TRUE(eventually([&] { return captor.isConnected(); }));
    captor.notify("ACK", 3, Direction::RECEIVED, Transport::TCP, address("127.0.0.1", 1), address("127.0.0.1", 2));
    EXPECT_TRUE(listener.waitRecords(1));
}

TEST(MessageCaptor, TheProcessWideCaptorStartsForwardsAndCleansUp) {
    TestCaptureListener listener(true);
    MessageCaptor::captureMessage("lost", 4, Direction::SENT, Transport::UDP, address("127.0.0.1", 1),
                                  address("127.0.0.1", 2));
    ASSERT_TRUE(MessageCaptor::startCaptor(listener.port(), "127.0.0.1"));
    bool captured = false;
    for (int attempt = 0; attempt < 500 && !captured; ++attempt) {
        MessageCaptor::captureMessage("kept", 4, Direction::SENT, Transport::UDP, address("127.0.0.1", 1),
                                      address("127.0.0.1", 2));
        captured = listener.waitRecords(1, 0, 20ms);  // the captor may not be connected yet
    }
    ASSERT_TRUE(captured);
    MessageCaptor::cleanCaptor();
    MessageCaptor::captureMessage("after", 5, Direction::SENT, Transport::UDP, address("127.0.0.1", 1),
                                  address("127.0.0.1", 2));
    for (const auto& record : listener.records()) {
        if (record.type == 1) {
            EXPECT_EQ(record.message, "kept");
        }
    }
}

namespace {

// Sends 10,000 SIP-sized datagrams as a transport would, capturing each when a captor is given.
std::chrono::nanoseconds timeTransport(MessageCaptor* captor) {
    DatagramSocket sink, transport;
    sink.openAndBind(loopback(AF_INET));
    transport.openAndBind(loopback(AF_INET));
    const SocketAddress from = transport.getLocalAddress();
    const SocketAddress to = sink.getLocalAddress();
    const std::string message = "INVITE sip:bob@example.com SIP/2.0\r\n" + std::string(500, 'h') + "\r\n\r\n";
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 10000; ++i) {
        transport.sendTo(message.data(), static_cast<int>(message.size()), to, -1ms);
        if (captor != nullptr) {
            captor->notify(message.data(), static_cast<int>(message.size()), Direction::SENT, Transport::UDP, from, to);
        }
    }
    return std::chrono::steady_clock::now() - start;
}

struct Timings {
    std::chrono::nanoseconds baseline = std::chrono::hours(1);
    std::chrono::nanoseconds withoutListener = std::chrono::hours(1);
    std::chrono::nanoseconds withStuckListener = std::chrono::hours(1);
};

// The fastest of five interleaved rounds, so that load from other processes hits all alike.
Timings measure(MessageCaptor& unconnected, MessageCaptor& stuck) {
    Timings best;
    for (int round = 0; round < 5; ++round) {
        best.baseline = std::min(best.baseline, timeTransport(nullptr));
        best.withoutListener = std::min(best.withoutListener, timeTransport(&unconnected));
        best.withStuckListener = std::min(best.withStuckListener, timeTransport(&stuck));
    }
    return best;
}

}  // namespace

TEST(MessageCaptor, AMissingOrStuckListenerDoesNotSlowTheTransports) {
    MessageCaptor unconnected;
    ASSERT_TRUE(unconnected.init(kel_test::freePort(AF_INET, SOCK_STREAM), "127.0.0.1"));
    TestCaptureListener stuck(false, 4096);
    MessageCaptor captor(64 * 1024);
    ASSERT_TRUE(captor.init(stuck.port(), "127.0.0.1"));
    ASSERT_TRUE(eventually([&] { return captor.isConnected(); }));

    const Timings timings = measure(unconnected, captor);
    using ms = std::chrono::duration<double, std::milli>;
    std::cout << "10,000 sends: no captor " << ms(timings.baseline).count() << " ms, no listener "
              << ms(timings.withoutListener).count() << " ms, listener not reading "
              << ms(timings.withStuckListener).count() << " ms\n";
    // Equal up to measurement noise on a shared machine.
    const auto allowed = timings.baseline * 3 / 2 + 100ms;
    EXPECT_LE(timings.withoutListener, allowed);
    EXPECT_LE(timings.withStuckListener, allowed);

    EXPECT_GT(captor.getDroppedCount(), 0u);
    // Once the socket buffers are full the stuck connection is given up and the captor
    // connects again.
    const std::string large(32 * 1024, 'm');
    const SocketAddress local = loopback(AF_INET, 5060);
    EXPECT_TRUE(eventually([&] {
        captor.notify(large.data(), static_cast<int>(large.size()), Direction::SENT, Transport::TCP, local, local);
        return stuck.connections() >= 2;
    }));
}
