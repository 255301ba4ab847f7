#include "kel_util/Socket.h"

#include "kel_util/SocketException.h"
#include "LoopbackSupport.h"
#include "Waiting.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using kel_util::DatagramSocket;
using kel_util::Socket;
using kel_util::SocketAddress;
using kel_util::SocketException;
using kel_test::hasLoopback;
using kel_test::loopback;

namespace {

int codeOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const SocketException& error) {
        return error.getCode();
    }
    return 0;
}

bool isBlocking(const Socket& socket) { return (fcntl(socket.getHandle(), F_GETFL) & O_NONBLOCK) == 0; }

class SocketPerFamily : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (!hasLoopback(GetParam())) GTEST_SKIP() << "no loopback address for this family";
    }
};

// A connected pair of TCP sockets on the loopback address of family.
struct StreamPair {
    Socket listener, client, server;
    explicit StreamPair(int family) {
        listener.open(family, SOCK_STREAM);
        listener.bind(loopback(family));
        listener.listen(4);
        client.open(family, SOCK_STREAM);
        EXPECT_TRUE(client.connect(listener.getLocalAddress(), 2000ms));
        SocketAddress peer;
        EXPECT_TRUE(listener.accept(server, peer, 2000ms));
        EXPECT_EQ(peer, client.getLocalAddress());
    }
};

}  // namespace

TEST(Socket, OperationsOnAClosedSocketThrowNotOpened) {
    Socket socket;
    char byte = 0;
    EXPECT_EQ(codeOf([&] { socket.send(&byte, 1, 10ms); }), SocketException::NOT_OPENED);
    EXPECT_EQ(codeOf([&] { socket.receive(&byte, 1, 10ms); }), SocketException::NOT_OPENED);
    EXPECT_EQ(codeOf([&] { socket.setTTL(3); }), SocketException::NOT_OPENED);
    try {
        socket.sendTo(&byte, 1, loopback(AF_INET, 9), -1ms);
        FAIL() << "sent on a closed socket";
    } catch (const SocketException& error) {
        EXPECT_EQ(error.toString(), "(12) Socket not opened");
    }
    // The stream readers see an ordinary failure instead of an exception.
    EXPECT_EQ(socket.receive(&byte, 1, 0), -1);
    EXPECT_EQ(socket.send(&byte, 1, 0), -1);
}

TEST(Socket, OpeningTwiceThrowsNotClosedAndSystemErrorsCarryTheirNumber) {
    DatagramSocket socket;
    socket.open(AF_INET);
    EXPECT_EQ(codeOf([&] { socket.open(AF_INET); }), SocketException::NOT_CLOSED);
    socket.bind(loopback(AF_INET));
    DatagramSocket rival;
    try {
        rival.openAndBind(socket.getLocalAddress());
        FAIL() << "bound twice";
    } catch (const SocketException& error) {
        EXPECT_EQ(error.getCode(), SocketException::BIND);
        EXPECT_EQ(error.getErrorNumber(), EADDRINUSE);
        EXPECT_EQ(error.getMessage(), kel_util::errorText(EADDRINUSE) + " (" + std::to_string(EADDRINUSE) + ")");
    }
    EXPECT_FALSE(rival.isOpen());
}

TEST_P(SocketPerFamily, DatagramsArriveWithTheSendersAddress) {
    DatagramSocket receiver, sender;
    receiver.openAndBind(loopback(GetParam()));
    sender.openAndBind(loopback(GetParam()));
    const std::string text("REGISTER\0sip", 12);
    EXPECT_EQ(sender.sendTo(text.data(), static_cast<int>(text.size()), receiver.getLocalAddress(), 1000ms), 12);
    char buffer[64];
    SocketAddress from;
    ASSERT_EQ(receiver.receiveFrom(buffer, sizeof buffer, from, 2000ms), 12);
    EXPECT_EQ(std::string(buffer, 12), text);
    EXPECT_EQ(from, sender.getLocalAddress());
}

TEST_P(SocketPerFamily, ReceiveReturnsZeroWhenNothingArrivesInTime) {
    DatagramSocket socket;
    socket.openAndBind(loopback(GetParam()));
    char buffer[16];
    SocketAddress from;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(socket.receiveFrom(buffer, sizeof buffer, from, 50ms), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    EXPECT_EQ(socket.receiveFrom(buffer, sizeof buffer, from, -1ms), 0);
}

TEST_P(SocketPerFamily, ADatagramLargerThanTheBufferIsDroppedNotCut) {
    DatagramSocket receiver, sender;
    receiver.openAndBind(loopback(GetParam()));
    sender.open(GetParam());
    const std::vector<char> large(2000, 'x');
    sender.sendTo(large.data(), static_cast<int>(large.size()), receiver.getLocalAddress(), -1ms);
    sender.sendTo("small", 5, receiver.getLocalAddress(), -1ms);
    char buffer[100];
    SocketAddress from;
    try {
        receiver.receiveFrom(buffer, sizeof buffer, from, 2000ms);
        FAIL() << "an oversize datagram was returned";
    } catch (const SocketException& error) {
        EXPECT_EQ(error.getCode(), SocketException::DATAGRAM_TRUNCATED);
        EXPECT_NE(error.getMessage().find("2000"), std::string::npos);
    }
    ASSERT_EQ(receiver.receiveFrom(buffer, sizeof buffer, from, 2000ms), 5);
    EXPECT_EQ(std::string(buffer, 5), "small");
}

TEST_P(SocketPerFamily, OptionsAreSetAndReadBackForTheFamily) {
    DatagramSocket socket;
    socket.open(GetParam());
    socket.setTTL(17);
    EXPECT_EQ(socket.getTTL(), 17);
    socket.setTOS(0x20);
    EXPECT_EQ(socket.getTOS(), 0x20);
    if (GetParam() == AF_INET6) {
        EXPECT_EQ(socket.getOption(IPPROTO_IPV6, IPV6_V6ONLY), 1);
    }
    EXPECT_EQ(codeOf([&] { socket.setOption(SOL_SOCKET, 99999, 1); }), SocketException::SET_OPTION);
    EXPECT_EQ(codeOf([&] { socket.getOption(SOL_SOCKET, 99999); }), SocketException::GET_OPTION);
}

TEST_P(SocketPerFamily, StreamBytesFlowBothWaysAndAPeerCloseIsReported) {
    StreamPair pair(GetParam());
    EXPECT_EQ(pair.client.send("INVITE", 6, 1000ms), 6);
    char buffer[16];
    ASSERT_EQ(pair.server.receive(buffer, sizeof buffer, 2000ms), 6);
    EXPECT_EQ(std::string(buffer, 6), "INVITE");
    // The same socket serves the stream readers through ByteSink and ByteSource.
    kel_util::ByteSink& sink = pair.server;
    kel_util::ByteSource& source = pair.client;
    EXPECT_EQ(sink.send("200", 3, 0), 3);
    EXPECT_EQ(source.receive(buffer, 3, MSG_WAITALL), 3);
    pair.server.close();
    EXPECT_EQ(codeOf([&] { pair.client.receive(buffer, sizeof buffer, 2000ms); }),
              SocketException::CONNECTION_CLOSED);
}

TEST_P(SocketPerFamily, SendTimesOutWithZeroWhenThePeerStopsReading) {
    StreamPair pair(GetParam());
    pair.client.setSendBufferSize(4096);
    const std::vector<char> block(4096, 'x');
    int result = 1;
    for (int i = 0; i < 100000 && result > 0; ++i) {
        result = pair.client.send(block.data(), static_cast<int>(block.size()), 20ms);
    }
    EXPECT_EQ(result, 0);
}

TEST_P(SocketPerFamily, ConnectRefusedThrowsAndLeavesTheSocketBlocking) {
    Socket socket;
    socket.open(GetParam(), SOCK_STREAM);
    const SocketAddress closed = loopback(GetParam(), kel_test::freePort(GetParam(), SOCK_STREAM));
    EXPECT_EQ(codeOf([&] { socket.connect(closed, 1000ms); }), SocketException::CONNECT);
    EXPECT_TRUE(isBlocking(socket));
}

// A listener whose accept queue is full drops further SYNs, so those connects never finish.
TEST_P(SocketPerFamily, ConnectToAnAddressThatDoesNotAnswerReturnsFalseInTimeAndStaysBlocking) {
    Socket listener;
    listener.open(GetParam(), SOCK_STREAM);
    listener.bind(loopback(GetParam()));
    listener.listen(0);
    std::vector<std::unique_ptr<Socket>> clients;
    bool timedOut = false;
    for (int i = 0; i < 16 && !timedOut; ++i) {
        auto client = std::make_unique<Socket>();
        client->open(GetParam(), SOCK_STREAM);
        const auto start = std::chrono::steady_clock::now();
        timedOut = !client->connect(listener.getLocalAddress(), 200ms);
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_TRUE(isBlocking(*client));
        if (timedOut) {
            EXPECT_GE(elapsed, 200ms);
            EXPECT_LT(elapsed, 5s);
        }
        clients.push_back(std::move(client));
    }
    EXPECT_TRUE(timedOut);
}

TEST_P(SocketPerFamily, ShutdownWakesAThreadBlockedInReceive) {
    DatagramSocket socket;
    socket.openAndBind(loopback(GetParam()));
    std::atomic<int> code{-1};
    std::atomic<bool> waiting{false};
    std::mutex socketLock;  // as a listener's socket lock: shutdown and close never overlap
    std::thread receiver([&] {
        char buffer[16];
        SocketAddress from;
        waiting = true;
        code = codeOf([&] { socket.receiveFrom(buffer, sizeof buffer, from, 0ms); });
        std::lock_guard<std::mutex> guard(socketLock);
        socket.close();  // the blocked thread owns the close
    });
    ASSERT_TRUE(kel_test::eventually([&] { return waiting.load(); }));
    {
        std::lock_guard<std::mutex> guard(socketLock);
        socket.shutdown(SHUT_RDWR);
    }
    receiver.join();
    EXPECT_EQ(code.load(), SocketException::CONNECTION_CLOSED);
    EXPECT_FALSE(socket.isOpen());
}

TEST(Socket, MulticastFailuresAreWrappedWithTheirCause) {
    DatagramSocket socket;
    socket.open(AF_INET);
    try {
        socket.joinMulticast(loopback(AF_INET), loopback(AF_INET), 1);  // not a group address
        FAIL() << "joined a unicast address";
    } catch (const SocketException& error) {
        EXPECT_EQ(error.getCode(), SocketException::MULTICAST);
        EXPECT_EQ(error.getMessage(), "Failed to add membership");
        ASSERT_NE(error.getCause(), nullptr);
        EXPECT_EQ(error.getCause()->getCode(), SocketException::SET_OPTION);
    }
}

TEST(Socket, LocalHostNameIsNotEmpty) { EXPECT_FALSE(Socket::getLocalHostName().empty()); }

INSTANTIATE_TEST_SUITE_P(Loopback, SocketPerFamily, ::testing::Values(AF_INET, AF_INET6),
                         [](const auto& info) { return info.param == AF_INET ? "IPv4" : "IPv6"; });
