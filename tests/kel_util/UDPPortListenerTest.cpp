#include "kel_util/UDPPortListener.h"

#include "kel_util/Datagram.h"
#include "kel_util/DatagramReceiver.h"
#include "kel_util/Mutex.h"
#include "kel_util/SocketException.h"
#include "LoopbackSupport.h"
#include "Waiting.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace std::chrono_literals;
using kel_util::Datagram;
using kel_util::DatagramSocket;
using kel_util::SocketAddress;
using kel_util::SocketException;
using kel_util::UDPPortListener;
using kel_util::UDPSenderBase;
using kel_test::hasLoopback;
using kel_test::loopback;

namespace {

// Keeps every datagram the listener hands over, with the listener that read it.
class CollectingReceiver : public kel_util::DatagramReceiver {
public:
    bool waitCount(std::size_t count, std::chrono::milliseconds limit = kel_test::kGenerous) {
        return monitor_.waitFor([&] { return datagrams_.size() >= count; }, limit);
    }
    std::vector<std::string> texts() {
        std::lock_guard<std::mutex> guard(monitor_.mutex());
        std::vector<std::string> texts;
        for (const auto& datagram : datagrams_) texts.emplace_back(datagram->getData(), datagram->getLength());
        return texts;
    }
    SocketAddress firstFrom() {
        std::lock_guard<std::mutex> guard(monitor_.mutex());
        return datagrams_.at(0)->getFrom();
    }
    const void* lastSender() {
        std::lock_guard<std::mutex> guard(monitor_.mutex());
        return lastSender_;
    }

    void onDatagram(const char* data, int length, const SocketAddress& from, UDPSenderBase& listener) override {
        auto datagram = std::make_unique<Datagram>(data, length, from);
        monitor_.update([&] {
            datagrams_.push_back(std::move(datagram));
            lastSender_ = &listener;
        });
    }

private:
    kel_test::Monitor monitor_;
    std::vector<std::unique_ptr<Datagram>> datagrams_;  // guarded by monitor_
    const void* lastSender_ = nullptr;
};

class ListenerPerFamily : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        if (!hasLoopback(GetParam())) GTEST_SKIP() << "no loopback address for this family";
        listener.setReceiver(&handler);
        listener.setReopenInterval(20ms);
        sender.openAndBind(loopback(GetParam()));
    }
    void TearDown() override { listener.stop(); }

    SocketAddress freeAddress() { return loopback(GetParam(), kel_test::freePort(GetParam())); }
    void send(const std::string& text, const SocketAddress& to) {
        sender.sendTo(text.data(), static_cast<int>(text.size()), to, 1000ms);
    }
    // For a socket that may not be bound yet or may drop datagrams: sends text until one
    // arrives.
    bool sendUntilReceived(const std::string& text, const SocketAddress& to) {
        for (int attempt = 0; attempt < 500; ++attempt) {
            send(text, to);
            if (handler.waitCount(1, 20ms)) return true;
        }
        return false;
    }

    CollectingReceiver handler;
    UDPPortListener listener;
    DatagramSocket sender;
};

}  // namespace

TEST_P(ListenerPerFamily, DatagramsReachTheHandlerWithTheSendersAddress) {
    const SocketAddress address = freeAddress();
    ASSERT_TRUE(listener.init(address, false, "lo"));
    send(std::string("OPTIONS\0\xff", 9), address);
    send("BYE", address);
    ASSERT_TRUE(handler.waitCount(2));
    EXPECT_EQ(handler.texts(), (std::vector<std::string>{std::string("OPTIONS\0\xff", 9), "BYE"}));
    EXPECT_EQ(handler.firstFrom(), sender.getLocalAddress());
    EXPECT_EQ(handler.lastSender(), static_cast<const UDPSenderBase*>(&listener));

    // The same socket answers through the sender half.
    EXPECT_EQ(listener.sendTo("200", 3, handler.firstFrom(), 1000ms), 3);
    char buffer[8];
    SocketAddress from;
    ASSERT_EQ(sender.receiveFrom(buffer, sizeof buffer, from, 2000ms), 3);
    EXPECT_EQ(from, address);
}

TEST_P(ListenerPerFamily, APortInUseIsRetriedUntilItIsFree) {
    DatagramSocket occupant;
    occupant.openAndBind(freeAddress());
    const SocketAddress address = occupant.getLocalAddress();
    UDPPortListener strict;
    EXPECT_THROW(strict.init(address, false, ""), SocketException);

    ASSERT_TRUE(listener.init(address, true, ""));
    EXPECT_THROW(listener.sendTo("x", 1, address, 100ms), SocketException);
    occupant.close();
    // The listener binds within a reopen interval; until then datagrams go nowhere.
    ASSERT_TRUE(sendUntilReceived("REGISTER", address));
    EXPECT_EQ(handler.texts().at(0), "REGISTER");
}

// The socket's own buffers are sized like the receive buffer, so the kernel may drop some
// datagrams too; what matters is that nothing cut short or empty reaches the handler.
TEST_P(ListenerPerFamily, EmptyAndOversizeDatagramsAreDroppedAndReceptionGoesOn) {
    listener.setReceiveBufferSize(1000);
    const SocketAddress address = freeAddress();
    ASSERT_TRUE(listener.init(address, false, ""));
    send(std::string(1001, 'x'), address);  // an empty queue always takes the first datagram
    send("", address);
    const std::string fitting(1000, 'y');
    ASSERT_TRUE(sendUntilReceived(fitting, address));
    for (const std::string& text : handler.texts()) EXPECT_EQ(text, fitting);
}

TEST_P(ListenerPerFamily, AnUnusableDestinationDoesNotTakeTheSocketDown) {
    const SocketAddress address = freeAddress();
    ASSERT_TRUE(listener.init(address, false, ""));
    const SocketAddress otherFamily = loopback(GetParam() == AF_INET ? AF_INET6 : AF_INET, 9);
    EXPECT_THROW(listener.sendTo("x", 1, otherFamily, 100ms), SocketException);
    EXPECT_EQ(listener.getLocalAddress(), address);
    send("still here", address);
    EXPECT_TRUE(handler.waitCount(1));
}

TEST_P(ListenerPerFamily, StopEndsABlockedReceiveAtOnceAndClosesTheSocket) {
    listener.setReceiveTimeout(0ms);  // no limit: only the shutdown can wake the receive
    ASSERT_TRUE(listener.init(freeAddress(), false, ""));
    const auto start = std::chrono::steady_clock::now();
    listener.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(listener.isRunning());
    try {
        listener.sendTo("x", 1, loopback(GetParam(), 9), -1ms);
        FAIL() << "sent on a stopped listener";
    } catch (const SocketException& error) {
        EXPECT_EQ(error.getCode(), SocketException::NOT_OPENED);
    }
    // A stopped listener can be started again.
    ASSERT_TRUE(listener.init(freeAddress(), false, ""));
}

namespace {

// Lets a test retire the socket as a failed send would.
class RetiringListener : public UDPPortListener {
public:
    // Retires the socket and tries one send under the socket lock, so the listener thread
    // cannot reopen the socket in between.
    bool retireAndSendIsRefused(const SocketAddress& to) {
        kel_util::ScopedLock<kel_util::Cond> guard(socketLock_);
        retire();
        try {
            sendTo("x", 1, to, 100ms);
            return false;
        } catch (const SocketException& error) {
            return error.getCode() == SocketException::NOT_OPENED;
        }
    }
};

}  // namespace

TEST(UDPPortListener, ARetiredSocketRefusesSendsUntilTheListenerReopensIt) {
    CollectingReceiver handler;
    RetiringListener listener;
    listener.setReceiver(&handler);
    listener.setReopenInterval(20ms);
    const SocketAddress address = loopback(AF_INET, kel_test::freePort(AF_INET));
    ASSERT_TRUE(listener.init(address, false, ""));
    DatagramSocket sender;
    sender.openAndBind(loopback(AF_INET));
    EXPECT_TRUE(listener.retireAndSendIsRefused(sender.getLocalAddress()));
    ASSERT_TRUE(kel_test::eventually([&] {
        try {
            return listener.sendTo("x", 1, sender.getLocalAddress(), 100ms) == 1;
        } catch (const SocketException& error) {
            EXPECT_EQ(error.getCode(), SocketException::NOT_OPENED);
            return false;
        }
    }));
    EXPECT_EQ(listener.getLocalAddress(), address);
    sender.sendTo("back", 4, address, 1000ms);
    EXPECT_TRUE(handler.waitCount(1));
    listener.stop();
}

TEST(UDPPortListener, RefusesASecondInitWhileRunning) {
    CollectingReceiver handler;
    UDPPortListener listener;
    listener.setReceiver(&handler);
    ASSERT_TRUE(listener.init(0, "127.0.0.1", AF_INET, false, ""));
    EXPECT_FALSE(listener.init(0, "127.0.0.1", AF_INET, false, ""));
    EXPECT_FALSE(listener.init(70000, "127.0.0.1", AF_INET, false, ""));
}

INSTANTIATE_TEST_SUITE_P(Loopback, ListenerPerFamily, ::testing::Values(AF_INET, AF_INET6),
                         [](const auto& info) { return info.param == AF_INET ? "IPv4" : "IPv6"; });
