#include "kel_sip/transport/SipTransportUser.h"

#include <gtest/gtest.h>

#include "TransportTestSupport.h"
#include "kel_sip/syntax/SipTransportType.h"

namespace kel_sip {
namespace {

using kel_test::RecordingReceiver;

// A transport of a given type that records what it is asked to do and sends nothing.
class FakeTransport : public SipConnectionTransport {
public:
    FakeTransport(SipTransportReceiver& receiver, int id, int type, bool sendResult = true)
        : SipConnectionTransport(receiver, id), type_(type), sendResult_(sendResult) {}

    bool sendRequest(SipMessageExt&, int transactionId) override { return record("request", transactionId); }
    bool sendResponse(SipMessageExt&, int transactionId) override { return record("response", transactionId); }
    int getTransportType() const override { return type_; }
    int getLocalAddressFamily() const override { return AF_INET; }
    int connect(const kel_util::SocketAddress& address, std::chrono::milliseconds) override {
        lastCall = "connect " + address.toString();
        return 42;
    }
    bool disconnect(int connectionId) override {
        lastCall = "disconnect " + std::to_string(connectionId);
        return connectionId == 42;
    }
    void stopAppConnControlTimer(int connectionId) override { lastCall = "stop " + std::to_string(connectionId); }

    std::string lastCall;

private:
    bool record(const char* what, int transactionId) {
        lastCall = std::string(what) + " " + std::to_string(transactionId);
        return sendResult_;
    }

    int type_;
    bool sendResult_;
};

SipMessageExt messageWithVia(const std::string& transport, int transportType = kTransportNone, int transportId = -1) {
    SipMessageExt message;
    message.vias.emplace_back(transport, SipHostPort("127.0.0.1", 5060));
    message.transportType = transportType;
    message.transportId = transportId;
    return message;
}

class SipTransportUserTest : public ::testing::Test {
protected:
    RecordingReceiver receiver_;
    FakeTransport udp0_{receiver_, 0, kTransportUDP};
    FakeTransport udp1_{receiver_, 1, kTransportUDP};
    FakeTransport tcp0_{receiver_, 0, kTransportTCP, false};
    SipTransportUser user_;
};

TEST_F(SipTransportUserTest, RegistersEachIdOnceAndTheLastAddedIsTheDefault) {
    FakeTransport negative(receiver_, -1, kTransportUDP);
    EXPECT_FALSE(user_.addUDPTransport(&negative));
    EXPECT_FALSE(user_.addUDPTransport(nullptr));
    EXPECT_TRUE(user_.addUDPTransport(&udp0_));
    EXPECT_TRUE(user_.addUDPTransport(&udp1_));
    FakeTransport again(receiver_, 1, kTransportUDP);
    EXPECT_FALSE(user_.addUDPTransport(&again));
    // The kinds have separate maps: ID 0 may be taken by UDP and TCP alike.
    EXPECT_TRUE(user_.addTCPTransport(&tcp0_));

    SipMessageExt unknownId = messageWithVia("UDP", kTransportUDP, 9);
    EXPECT_EQ(user_.getTransport(unknownId), &udp1_);
    EXPECT_EQ(unknownId.transportId, 1);
    SipMessageExt byId = messageWithVia("UDP", kTransportUDP, 0);
    EXPECT_EQ(user_.getTransport(byId), &udp0_);
}

TEST_F(SipTransportUserTest, AMessageWithoutTypeIsRoutedByItsTopVia) {
    ASSERT_TRUE(user_.addUDPTransport(&udp0_));
    SipMessageExt tcpVia = messageWithVia("tcp");
    EXPECT_EQ(user_.getTransport(tcpVia), nullptr);
    EXPECT_FALSE(user_.sendRequestByTransport(tcpVia, 5));

    ASSERT_TRUE(user_.addTCPTransport(&tcp0_));
    EXPECT_EQ(user_.getTransport(tcpVia), &tcp0_);
    EXPECT_EQ(tcpVia.transportType, kTransportTCP);
    EXPECT_EQ(tcpVia.transportId, 0);

    SipMessageExt tlsVia = messageWithVia("TLS");
    EXPECT_EQ(user_.getTransport(tlsVia), nullptr);
    SipMessageExt noVia;
    EXPECT_EQ(user_.getTransport(noVia), &udp0_);
    EXPECT_EQ(noVia.transportType, kTransportUDP);
}

TEST_F(SipTransportUserTest, SendsThroughTheChosenTransportAndReportsItsResult) {
    ASSERT_TRUE(user_.addUDPTransport(&udp0_));
    ASSERT_TRUE(user_.addTCPTransport(&tcp0_));
    SipMessageExt udp = messageWithVia("UDP");
    EXPECT_TRUE(user_.sendRequestByTransport(udp, 11));
    EXPECT_EQ(udp0_.lastCall, "request 11");
    SipMessageExt tcp = messageWithVia("TCP");
    tcp.isRequest = false;
    EXPECT_FALSE(user_.sendResponseByTransport(tcp, 12));
    EXPECT_EQ(tcp0_.lastCall, "response 12");
}

TEST_F(SipTransportUserTest, ConnectionControlsGoOnlyToARegisteredConnectionTransport) {
    kel_util::SocketAddress address(AF_INET);
    ASSERT_TRUE(address.set(5060, "127.0.0.1", AF_INET));
    const auto timeout = std::chrono::milliseconds(100);
    ASSERT_TRUE(user_.addTCPTransport(&tcp0_));
    EXPECT_EQ(user_.connectTransport(kTransportUDP, 0, address, timeout), -1);
    EXPECT_EQ(user_.connectTransport(kTransportTCP, 5, address, timeout), -1);
    EXPECT_EQ(tcp0_.lastCall, "");
    EXPECT_EQ(user_.connectTransport(kTransportTCP, 0, address, timeout), 42);
    EXPECT_EQ(tcp0_.lastCall, "connect 127.0.0.1:5060");
    EXPECT_TRUE(user_.disconnectTransport(kTransportTLS, 0, 42));
    EXPECT_FALSE(user_.disconnectTransport(kTransportTCP, 0, 43));
    EXPECT_FALSE(user_.disconnectTransport(kTransportSCTP, 0, 42));
    EXPECT_EQ(tcp0_.lastCall, "disconnect 43");
    user_.stopAppConnControlTimer(kTransportTCP, 0, 7);
    EXPECT_EQ(tcp0_.lastCall, "stop 7");
}

}  // namespace
}  // namespace kel_sip
