#include "kel_sip/transport/SipUDPTransport.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "TransportTestSupport.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_sip/transport/SipTransportHooks.h"

namespace kel_sip {
namespace {

using kel_test::loopback;
using kel_test::RecordingReceiver;
using kel_test::requestText;
using kel_test::UdpPeer;

// A transport on 127.0.0.1; its listener handles datagrams one at a time in arrival order:
// when the answer to a later probe is the next datagram back, an earlier one got none.
class SipUDPTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        setAnswerOwnOptions(true);
        ASSERT_TRUE(transport_.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
        address_ = transport_.getLocalAddress();
    }
    void TearDown() override {
        transport_.close();
        setAnswerOwnOptions(false);
        setReceiveFilterHook({});
        setSendFilterHook({});
    }

    std::string peerVia(const std::string& branch = "z9hG4bK1") {
        return "SIP/2.0/UDP 127.0.0.1:" + std::to_string(peer_.port()) + ";branch=" + branch;
    }
    void send(const std::string& text) { peer_.send(text, address_); }
    // An OPTIONS to the host itself: the transport answers it 200 without the controller.
    void sendProbe() { send(requestText("OPTIONS sip:127.0.0.1 SIP/2.0", peerVia(), "OPTIONS", "probe")); }
    // Sends the probe and expects its 200 to be the next datagram back.
    void expectNothingBeforeProbe() {
        sendProbe();
        const auto answer = peer_.receiveMessage();
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer->callId, "probe");
        EXPECT_EQ(answer->statusCode, 200);
    }
    // The next datagram back as a response: status, a Reason-Phrase containing reasonPart
    // (when given) and a To tag.
    void expectAnswer(int status, const std::string& reasonPart) {
        auto answer = peer_.receiveMessage();
        ASSERT_NE(answer, nullptr);
        EXPECT_FALSE(answer->isRequest);
        EXPECT_EQ(answer->statusCode, status);
        EXPECT_FALSE(answer->to.tag.empty());
        const std::string* reason = answer->getHeader(SipHeader::ReasonPhrase, HeaderListBase::Position::First);
        if (reasonPart.empty()) {
            EXPECT_EQ(reason, nullptr);
        } else {
            ASSERT_NE(reason, nullptr);
            EXPECT_NE(reason->find(reasonPart), std::string::npos) << *reason;
        }
    }

    RecordingReceiver receiver_;
    SipUDPTransport transport_{receiver_, 3};
    kel_util::SocketAddress address_;
    UdpPeer peer_;
};

TEST_F(SipUDPTransportTest, BrokenRequestsAreAnsweredWithTheChosenStatusAndReasonPhrase) {
    // A Via that does not parse (the good one still tells where to answer).
    send(requestText("INVITE sip:bob@127.0.0.1 SIP/2.0", peerVia() + "\r\nVia: SIP/2.0", "INVITE", "c1"));
    expectAnswer(400, "invalid Via");
    send(requestText("INVITE sip:bob@127.0.0.1 SIP/3.0", peerVia(), "INVITE", "c2"));
    expectAnswer(505, "invalid SIP Version");
    send(requestText("INVITE mailto:bob@example.com SIP/2.0", peerVia(), "INVITE", "c3"));
    expectAnswer(416, "invalid RequestURI");
    // A body length that is not a number: the parse failure itself is the reason.
    send("MESSAGE sip:bob@127.0.0.1 SIP/2.0\r\nVia: " + peerVia() +
         "\r\nTo: <sip:bob@127.0.0.1>\r\nCall-ID: c4\r\nCSeq: 1 MESSAGE\r\nContent-Length: 1x\r\n\r\n");
    expectAnswer(400, "invalid Content-Length");
    EXPECT_EQ(receiver_.count(), 0u);
}

TEST_F(SipUDPTransportTest, RequestWithABrokenRequestLineOrCSeqIsStillAnswered400) {
    // RFC 4475 sections 3.1.2.7 and 3.1.2.8: a Request-URI in angle brackets, one with a blank
    // inside. The headers still tell where and how to answer.
    for (const char* line : {"INVITE <sip:user@example.com> SIP/2.0", "INVITE sip:user@example.com; lr SIP/2.0"}) {
        send(requestText(line, peerVia(), "INVITE", line));
        const auto answer = peer_.receiveMessage();
        ASSERT_NE(answer, nullptr) << line;
        EXPECT_EQ(answer->statusCode, 400);
        EXPECT_EQ(answer->callId, line);
        EXPECT_EQ(answer->cseq.getMethodName(), "INVITE");
        EXPECT_NE(answer->getHeader(SipHeader::ReasonPhrase, HeaderListBase::Position::First), nullptr);
    }
    // RFC 3261 section 8.2.6.2: the CSeq goes back as received, so the client can match it.
    send(requestText("OPTIONS sip:bob@127.0.0.1 SIP/2.0", peerVia(), "OPTIONS x", "c6"));
    const auto text = peer_.receive();
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->rfind("SIP/2.0 400 ", 0), 0u) << *text;
    EXPECT_NE(text->find("\r\nCSeq: 1 OPTIONS x\r\n"), std::string::npos) << *text;
    EXPECT_EQ(receiver_.count(), 0u);
}

TEST_F(SipUDPTransportTest, GarbageLookingLikeAResponseIsDropped) {
    send("SIP/2.0 two hundred OK\r\nVia: " + peerVia() + "\r\nCall-ID: g1\r\nCSeq: 1 INVITE\r\n\r\n");
    // A response that parses but is not valid (no From or To) is dropped too.
    send("SIP/2.0 200 OK\r\nVia: " + peerVia() + "\r\nCall-ID: g2\r\nCSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n");
    expectNothingBeforeProbe();
    EXPECT_EQ(receiver_.count(), 0u);
}

TEST_F(SipUDPTransportTest, OwnOptionsIsAnsweredHereAndOptionsToAUserGoesUp) {
    sendProbe();
    const auto answer = peer_.receiveMessage();
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->statusCode, 200);
    EXPECT_FALSE(answer->to.tag.empty());

    send(requestText("OPTIONS sip:bob@127.0.0.1 SIP/2.0", peerVia(), "OPTIONS", "o2"));
    ASSERT_TRUE(receiver_.waitCount(1));
    EXPECT_EQ(receiver_.at(0).message->callId, "o2");

    setAnswerOwnOptions(false);
    send(requestText("OPTIONS sip:127.0.0.1 SIP/2.0", peerVia(), "OPTIONS", "o3"));
    ASSERT_TRUE(receiver_.waitCount(2));
    EXPECT_EQ(receiver_.at(1).message->callId, "o3");
}

TEST_F(SipUDPTransportTest, ValidRequestReachesTheControllerStampedWithItsSource) {
    // A sent-by name asking for rport: received and rport record the datagram's source.
    send(requestText("INVITE sip:bob@127.0.0.1 SIP/2.0", "SIP/2.0/UDP client.invalid:5070;rport;branch=z9hG4bK2",
                     "INVITE", "v1"));
    // The sent-by is the source address and no rport is asked for: nothing to record.
    send(requestText("BYE sip:bob@127.0.0.1 SIP/2.0", "SIP/2.0/UDP 127.0.0.1:5070;branch=z9hG4bK3", "BYE", "v2"));
    ASSERT_TRUE(receiver_.waitCount(2));

    auto& first = receiver_.at(0);
    EXPECT_EQ(first.eventType, SIPTRANSPORT_EVMSGTYPE_RECVSIPREQUEST);
    EXPECT_EQ(first.transport, &transport_);
    EXPECT_EQ(first.message->transportId, 3);
    EXPECT_EQ(first.message->transportType, kTransportUDP);
    EXPECT_EQ(first.message->peer, (SipPeerAddress{"127.0.0.1", peer_.port()}));
    const SipVia& stamped = first.message->vias.front();
    EXPECT_EQ(stamped.getReceived(), "127.0.0.1");
    EXPECT_EQ(stamped.getRport(), peer_.port());

    const SipVia& plain = receiver_.at(1).message->vias.front();
    EXPECT_EQ(plain.getReceived(), "");
    EXPECT_EQ(plain.getRport(), -1);
}

TEST_F(SipUDPTransportTest, RefusedRequestIsAnswered500) {
    receiver_.setRefusing(true);
    send(requestText("INVITE sip:bob@127.0.0.1 SIP/2.0", peerVia(), "INVITE", "r1"));
    expectAnswer(500, "");
}

TEST_F(SipUDPTransportTest, AckIsNeverAnswered) {
    send(requestText("ACK sip:bob@127.0.0.1 SIP/3.0", peerVia(), "ACK", "a1"));                   // invalid
    send(requestText("ACK sip:bob@127.0.0.1 SIP/2.0", peerVia() + "\r\nVia: bad", "ACK", "a2"));  // unparseable
    send(requestText("ACK mailto:bob@example.com SIP/2.0", peerVia(), "ACK", "a3"));              // bad scheme
    receiver_.setRefusing(true);
    send(requestText("ACK sip:bob@127.0.0.1 SIP/2.0", peerVia(), "ACK", "a4"));  // refused
    expectNothingBeforeProbe();
    EXPECT_EQ(receiver_.count(), 0u);
}

TEST_F(SipUDPTransportTest, ReceivedResponseGoesUp) {
    send("SIP/2.0 180 Ringing\r\nVia: " + peerVia() +
         "\r\nFrom: <sip:alice@127.0.0.1>;tag=f\r\nTo: <sip:bob@127.0.0.1>;tag=t\r\nCall-ID: s1\r\nCSeq: 1 "
         "INVITE\r\nContent-Length: 0\r\n\r\n");
    ASSERT_TRUE(receiver_.waitCount(1));
    EXPECT_EQ(receiver_.at(0).eventType, SIPTRANSPORT_EVMSGTYPE_RECVSIPRESPONSE);
    EXPECT_EQ(receiver_.at(0).message->statusCode, 180);
    EXPECT_EQ(receiver_.at(0).message->transportId, 3);
}

// A response with the given top Via, no peer of its own.
std::unique_ptr<SipMessageExt> responseWithVia(const std::string& via) {
    auto response = std::make_unique<SipMessageExt>();
    const std::string text = "SIP/2.0 200 OK\r\nVia: " + via +
                             "\r\nFrom: <sip:alice@127.0.0.1>;tag=f\r\nTo: <sip:bob@127.0.0.1>;tag=t\r\nCall-ID: "
                             "d1\r\nCSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n";
    std::string reason;
    EXPECT_TRUE(response->parse(text.data(), static_cast<int>(text.size()), reason)) << reason;
    return response;
}

TEST_F(SipUDPTransportTest, ResponseGoesWhereTheTopViaSays) {
    const std::string port = std::to_string(peer_.port());
    // received and rport win over the sent-by (RFC 3581 section 4).
    const std::vector<std::string> vias = {
        "SIP/2.0/UDP client.invalid:9;received=127.0.0.1;rport=" + port,
        // maddr wins over received and rport; the port is the sent-by port (RFC 3261 18.2.2).
        "SIP/2.0/UDP client.invalid:" + port + ";maddr=127.0.0.1;received=192.0.2.1;rport=9",
        // received without rport: the sent-by port.
        "SIP/2.0/UDP client.invalid:" + port + ";received=127.0.0.1",
    };
    for (const std::string& via : vias) {
        auto response = responseWithVia(via);
        ASSERT_TRUE(transport_.sendResponse(*response, 7)) << via;
        EXPECT_EQ(response->transportId, 3);
        const auto arrived = peer_.receiveMessage();
        ASSERT_NE(arrived, nullptr) << via;
        EXPECT_EQ(arrived->callId, "d1");
        // The Via goes out as it came.
        EXPECT_EQ(arrived->vias.front().getReceived(), response->vias.front().getReceived());
    }
    SipMessageExt noVia;
    noVia.setResponse(200);
    EXPECT_FALSE(transport_.sendResponse(noVia, 8));
}

// A request to the peer with a Via the transport fills in.
std::unique_ptr<SipMessageExt> requestToPeer(int peerPort) {
    auto request = std::make_unique<SipMessageExt>();
    const std::string text = requestText("MESSAGE sip:bob@127.0.0.1:" + std::to_string(peerPort) + " SIP/2.0",
                                         "SIP/2.0/UDP placeholder;branch=z9hG4bK77;old=1", "MESSAGE", "q1");
    std::string reason;
    EXPECT_TRUE(request->parse(text.data(), static_cast<int>(text.size()), reason)) << reason;
    return request;
}

TEST_F(SipUDPTransportTest, SentRequestCarriesTheTransportsVia) {
    transport_.setSentBy("phone.example", 5099);
    transport_.setViaRPort(true);
    ASSERT_TRUE(transport_.setViaParams(";x=1;y"));
    auto request = requestToPeer(peer_.port());
    ASSERT_TRUE(transport_.sendRequest(*request, 1));
    auto arrived = peer_.receiveMessage();
    ASSERT_NE(arrived, nullptr);
    const SipVia& via = arrived->vias.front();
    EXPECT_EQ(via.getSentBy().host, "phone.example");
    EXPECT_EQ(via.getSentBy().port, 5099);
    EXPECT_EQ(via.getBranch(), "z9hG4bK77");
    EXPECT_EQ(via.getRport(), 0);
    ASSERT_EQ(via.getParameters().size(), 2u);
    EXPECT_EQ(via.getParameters()[0].name, "x");
    EXPECT_EQ(via.getParameters()[1].name, "y");

    // The empty text, a text that does not parse and null all leave requests without extras.
    for (const char* params : {"", "a=1;;b", static_cast<const char*>(nullptr)}) {
        ASSERT_TRUE(transport_.setViaParams("z=2"));
        EXPECT_EQ(transport_.setViaParams(params), params != nullptr && *params == '\0');
        request = requestToPeer(peer_.port());
        ASSERT_TRUE(transport_.sendRequest(*request, 1));
        arrived = peer_.receiveMessage();
        ASSERT_NE(arrived, nullptr);
        const size_t expected = params == nullptr ? 1u : 0u;  // null is refused and changes nothing
        EXPECT_EQ(arrived->vias.front().getParameters().size(), expected);
    }
}

TEST_F(SipUDPTransportTest, FilterHooksSwallowMessages) {
    setReceiveFilterHook([](SipMessageExt& message) { return message.callId == "drop"; });
    send(requestText("INVITE sip:bob@127.0.0.1 SIP/2.0", peerVia(), "INVITE", "drop"));
    send(requestText("INVITE sip:bob@127.0.0.1 SIP/2.0", peerVia(), "INVITE", "keep"));
    ASSERT_TRUE(receiver_.waitCount(1));
    EXPECT_EQ(receiver_.at(0).message->callId, "keep");

    int filtered = 0;
    setSendFilterHook([&](SipMessageExt&, SipTransportBase& transport) {
        ++filtered;
        return &transport == &transport_;
    });
    auto request = requestToPeer(peer_.port());
    EXPECT_TRUE(transport_.sendRequest(*request, 1));
    EXPECT_EQ(filtered, 1);
    setSendFilterHook({});
    expectNothingBeforeProbe();
    EXPECT_EQ(receiver_.count(), 1u);
}

TEST_F(SipUDPTransportTest, ConcurrentSendersEachGetAWholeVia) {
    // Senders on several threads while another thread changes the Via values: every request
    // arrives with one consistent set of extra parameters, never a mix.
    constexpr int kThreads = 4;
    constexpr int kPerThread = 25;
    std::atomic<bool> sending{true};
    std::thread changer([&] {
        for (int round = 0; sending.load(); ++round) {
            transport_.setViaParams(round % 2 == 0 ? "a=1;b=1" : "a=2;b=2");
            transport_.setSentBy(round % 2 == 0 ? "one.example" : "two.example", 5000 + round % 2);
        }
    });
    std::vector<std::thread> senders;
    std::atomic<int> sent{0};
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&] {
            for (int i = 0; i < kPerThread; ++i) {
                auto request = requestToPeer(peer_.port());
                if (transport_.sendRequest(*request, i)) ++sent;
            }
        });
    }
    for (auto& sender : senders) sender.join();
    sending = false;
    changer.join();
    ASSERT_EQ(sent.load(), kThreads * kPerThread);
    for (int i = 0; i < kThreads * kPerThread; ++i) {
        const auto arrived = peer_.receiveMessage();
        ASSERT_NE(arrived, nullptr) << i;
        const auto& parameters = arrived->vias.front().getParameters();
        if (parameters.empty()) continue;  // sent before the first change
        ASSERT_EQ(parameters.size(), 2u);
        EXPECT_EQ(parameters[0].value, parameters[1].value);
    }
}

TEST(SipUDPTransportIPv6, AnswersAnIPv6PeerAtItsSource) {
    if (!kel_test::hasLoopback(AF_INET6)) GTEST_SKIP() << "no ::1 on this machine";
    setAnswerOwnOptions(true);
    RecordingReceiver receiver;
    SipUDPTransport transport(receiver, 0);
    ASSERT_TRUE(transport.open("::1", 0, "::1", AF_INET6, false));
    EXPECT_EQ(transport.getLocalAddressFamily(), AF_INET6);
    kel_util::DatagramSocket peer;
    peer.openAndBind(loopback(AF_INET6));
    const std::string peerPort = std::to_string(peer.getLocalAddress().getPort());
    // A sent-by name with rport: the answer goes to received=::1 and the rport.
    const std::string text = requestText("OPTIONS sip:[::1] SIP/2.0", "SIP/2.0/UDP client.invalid:9;rport;branch=z9hG4bK6",
                                         "OPTIONS", "six");
    peer.sendTo(text.data(), static_cast<int>(text.size()), transport.getLocalAddress(), kel_util::Socket::Timeout(-1));
    std::vector<char> buffer(65536);
    kel_util::SocketAddress from(AF_INET6);
    const int length = peer.receiveFrom(buffer.data(), static_cast<int>(buffer.size()), from,
                                        std::chrono::duration_cast<kel_util::Socket::Timeout>(kel_test::kGenerous));
    transport.close();
    setAnswerOwnOptions(false);
    ASSERT_GT(length, 0);
    const std::string answer(buffer.data(), static_cast<size_t>(length));
    EXPECT_EQ(answer.rfind("SIP/2.0 200", 0), 0u) << answer;
    EXPECT_NE(answer.find("received=::1;"), std::string::npos) << answer;
    EXPECT_NE(answer.find("rport=" + peerPort), std::string::npos) << answer;
}

TEST(SipUDPTransportInit, FailsOnAPortInUseUnlessTolerated) {
    RecordingReceiver receiver;
    kel_util::DatagramSocket holder;
    holder.openAndBind(loopback(AF_INET));
    const int taken = holder.getLocalAddress().getPort();
    SipUDPTransport strict(receiver, 0);
    EXPECT_FALSE(strict.open("127.0.0.1", taken, "127.0.0.1", AF_INET, false));
    SipUDPTransport tolerant(receiver, 1);
    EXPECT_TRUE(tolerant.open("127.0.0.1", taken, "127.0.0.1", AF_INET, true));
    EXPECT_EQ(tolerant.getSentByPort(), taken);
    EXPECT_EQ(tolerant.getLocalAddressFamily(), AF_INET);
    tolerant.close();
}

}  // namespace
}  // namespace kel_sip
