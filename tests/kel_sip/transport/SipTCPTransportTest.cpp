// The TCP transport between raw TCP peers on 127.0.0.1: a response goes back on its
// request's connection, and a request finds its connection by ID, by alias, by peer address,
// or makes one, with the Via values of the switches.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TcpTestSupport.h"
#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transport/SipTCPTransport.h"
#include "kel_sip/transport/SipTransportHooks.h"

namespace kel_test {
namespace {

using kel_sip::SipMessageExt;
using kel_sip::SipTCPTransport;
using std::chrono::milliseconds;

// The messages the stack sends to one peer, taken one by one (they carry no body).
class MessageReader {
public:
    explicit MessageReader(TcpPeer& peer) : peer_(peer) {}

    // The next message; null when none came in time or it does not parse.
    std::unique_ptr<SipMessageExt> next() {
        char buffer[2048];
        const auto deadline = std::chrono::steady_clock::now() + kGenerous;
        while (bytes_.find("\r\n\r\n") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            const int got = peer_.socket().receive(buffer, sizeof buffer, milliseconds(100));
            bytes_.append(buffer, static_cast<std::size_t>(got));
        }
        const std::size_t end = bytes_.find("\r\n\r\n");
        if (end == std::string::npos) return nullptr;
        auto message = std::make_unique<SipMessageExt>();
        std::string reason;
        const bool parsed = message->parse(bytes_.data(), static_cast<int>(end + 4), reason);
        bytes_.erase(0, end + 4);
        return parsed ? std::move(message) : nullptr;
    }

private:
    TcpPeer& peer_;
    std::string bytes_;
};

// The Call-ID of the next message, or "" when none came.
std::string nextCallId(MessageReader& reader) {
    const auto message = reader.next();
    return message != nullptr ? message->callId : std::string();
}

class SipTCPTransportTest : public ::testing::Test {
protected:
    void SetUp() override {
        transport_.getHandler().setAcceptTimeout(milliseconds(200));
        ASSERT_TRUE(transport_.init(2, 2, "127.0.0.1", 0, "127.0.0.1", AF_INET, false));
        address_ = transport_.getHandler().getLocalAddress();
    }
    void TearDown() override { transport_.clean(); }

    // The request the peer sent, as the transaction controller got it.
    SipMessageExt& sendAndTake(TcpPeer& peer, const std::string& text) {
        const std::size_t index = receiver_.count();
        peer.send(text);
        EXPECT_TRUE(receiver_.waitCount(index + 1));
        return *receiver_.at(index).message;
    }
    // A request from the stack to uri.
    std::unique_ptr<SipMessageExt> request(const std::string& uri, const std::string& callId) {
        const std::string text = requestText("OPTIONS " + uri + " SIP/2.0", "SIP/2.0/TCP 0.0.0.0;branch=z9hG4bKout", "OPTIONS", callId);
        auto message = std::make_unique<SipMessageExt>();
        std::string reason;
        EXPECT_TRUE(message->parse(text.data(), static_cast<int>(text.size()), reason)) << reason;
        return message;
    }

    RecordingReceiver receiver_;
    SipTCPTransport transport_{receiver_, 0};
    SocketAddress address_;
};

TEST_F(SipTCPTransportTest, ResponseGoesBackOnTheConnectionOfItsRequest) {
    TcpPeer first(address_);
    TcpPeer second(address_);
    sendAndTake(first, tcpRequest("first"));
    SipMessageExt& request = sendAndTake(second, tcpRequest("second"));
    EXPECT_EQ(request.transportType, kel_sip::kTransportTCP);
    // Its Via names a port nobody listens on: only the connection can carry the answer.
    auto response = request.createResponse(200, "OK", true);
    ASSERT_TRUE(transport_.sendResponse(*response, 7));
    const auto answer = MessageReader(second).next();
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->callId, "second");
    EXPECT_EQ(answer->statusCode, 200);
    EXPECT_EQ(transport_.getHandler().getConnectionCount(), 2);
}

TEST_F(SipTCPTransportTest, ResponseWhoseConnectionClosedGoesToTheViaAddress) {
    Socket listener;
    listener.open(AF_INET, SOCK_STREAM);
    listener.bind(loopback(AF_INET));
    listener.listen(1);
    const int port = listener.getLocalAddress().getPort();
    TcpPeer peer(address_);
    SipMessageExt& request = sendAndTake(
        peer, requestText("OPTIONS sip:bob@127.0.0.1 SIP/2.0", "SIP/2.0/TCP 127.0.0.1:" + std::to_string(port) + ";branch=z9hG4bK5",
                          "OPTIONS", "gone"));
    auto response = request.createResponse(200, "OK", true);
    peer.close();
    ASSERT_TRUE(eventually([&] { return transport_.getHandler().getConnectionCount() == 0; }));
    ASSERT_TRUE(transport_.sendResponse(*response, 8));
    TcpPeer accepted;
    accepted.close();
    SocketAddress from;
    ASSERT_TRUE(listener.accept(accepted.socket(), from, milliseconds(5000)));
    const auto answer = MessageReader(accepted).next();
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer->callId, "gone");
}

TEST_F(SipTCPTransportTest, RequestsReuseTheConnectionTheyMadeAndCarryTheSwitchedViaValues) {
    Socket listener;
    listener.open(AF_INET, SOCK_STREAM);
    listener.bind(loopback(AF_INET));
    listener.listen(1);
    const std::string uri = "sip:bob@127.0.0.1:" + std::to_string(listener.getLocalAddress().getPort()) + ";transport=tcp";
    transport_.setViaAlias(true);
    transport_.setViaConnectionSrcPort(true);
    auto first = request(uri, "one");
    ASSERT_TRUE(transport_.sendRequest(*first, 1));
    TcpPeer accepted;
    accepted.close();
    SocketAddress from;
    ASSERT_TRUE(listener.accept(accepted.socket(), from, milliseconds(5000)));
    MessageReader reader(accepted);
    const auto received = reader.next();
    ASSERT_NE(received, nullptr);
    const kel_sip::SipVia& via = received->vias.front();
    EXPECT_EQ(via.getSentBy().host, "127.0.0.1");
    EXPECT_EQ(via.getSentBy().port, from.getPort());
    EXPECT_TRUE(via.isAlias());
    EXPECT_GT(first->connectionId, 0);

    // The same destination again, by peer address and then by the connection ID kept.
    auto second = request(uri, "two");
    ASSERT_TRUE(transport_.sendRequest(*second, 2));
    auto third = request("sip:elsewhere@127.0.0.1:9;transport=tcp", "three");
    third->connectionId = first->connectionId;
    ASSERT_TRUE(transport_.sendRequest(*third, 3));
    EXPECT_EQ(nextCallId(reader), "two");
    EXPECT_EQ(nextCallId(reader), "three");
    EXPECT_EQ(transport_.getHandler().getConnectionCount(), 1);
}

TEST_F(SipTCPTransportTest, SendsTheFilterSwallowsDoNotKeepAnIdleConnectionOpen) {
    transport_.getHandler().setConnectionTimeoutSec(1);
    TcpPeer peer(address_);
    const SipMessageExt& request = sendAndTake(peer, tcpRequest("idle"));
    kel_sip::setSendFilterHook([](SipMessageExt&, kel_sip::SipTransportBase&) { return true; });
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        while (!stop) {
            auto response = request.createResponse(200, "OK", true);
            EXPECT_TRUE(transport_.sendResponse(*response, 9));
            std::this_thread::sleep_for(milliseconds(50));  // pacing: a swallowed answer every 50 ms
        }
    });
    EXPECT_TRUE(peer.waitClosed(milliseconds(5000)));
    stop = true;
    sender.join();
    kel_sip::setSendFilterHook({});
}

TEST_F(SipTCPTransportTest, RequestToTheAliasOfAnAcceptedConnectionUsesIt) {
    transport_.getHandler().setUseAlias(true);
    TcpPeer peer(address_);
    // The peer says it listens on 5999, where nothing does: the alias is the only way back.
    sendAndTake(peer, requestText("OPTIONS sip:bob@127.0.0.1 SIP/2.0",
                                  "SIP/2.0/TCP 127.0.0.1:5999;alias;branch=z9hG4bK6", "OPTIONS", "in"));
    ASSERT_TRUE(eventually([&] { return transport_.getHandler().getAliasCount() == 1; }));
    auto out = request("sip:carol@127.0.0.1:5999;transport=tcp", "out");
    ASSERT_TRUE(transport_.sendRequest(*out, 4));
    MessageReader reader(peer);
    EXPECT_EQ(nextCallId(reader), "out");
}

TEST_F(SipTCPTransportTest, AliasIsTheSourceAddressNotAHostTheViaClaims) {
    transport_.getHandler().setUseAlias(true);
    TcpPeer peer(address_);
    sendAndTake(peer, requestText("OPTIONS sip:bob@127.0.0.1 SIP/2.0",
                                  "SIP/2.0/TCP 192.0.2.7:5060;received=192.0.2.7;branch=z9hG4bK7", "OPTIONS", "claim"));
    ASSERT_TRUE(eventually([&] { return transport_.getHandler().getAliasCount() == 1; }));
    SocketAddress claimed(AF_INET);
    ASSERT_TRUE(claimed.set(5060, "192.0.2.7", AF_INET));
    SocketAddress source(AF_INET);
    ASSERT_TRUE(source.set(5060, "127.0.0.1", AF_INET));
    EXPECT_EQ(transport_.getHandler().findConnection(claimed), 0);
    EXPECT_GT(transport_.getHandler().findConnection(source), 0);
}

}  // namespace
}  // namespace kel_test
