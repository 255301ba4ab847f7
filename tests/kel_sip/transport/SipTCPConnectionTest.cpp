// TCP framing against raw sockets on 127.0.0.1: messages framed by Content-Length however the
// bytes are cut into segments, keep-alive pings and pongs, and the bounds that close a
// connection whose peer sends what can never become a message.
#include <gtest/gtest.h>

#include <thread>

#include "TcpTestSupport.h"
#include "kel_sip/transport/SipConnectionHandler.h"
#include "kel_sip/transport/SipTCPConnection.h"
#include "tests/support/LogCapture.h"

namespace kel_test {
namespace {

using kel_sip::SipConnection;
using kel_sip::SipConnectionHandler;
using kel_sip::SipTCPConnection;
using std::chrono::milliseconds;

constexpr milliseconds kReceiveTimeout{50};

std::string withBody(const std::string& callId, const std::string& body) {
    std::string text = requestText("MESSAGE sip:bob@127.0.0.1 SIP/2.0", "SIP/2.0/TCP 127.0.0.1:5070;branch=z9hG4bK2",
                                   "MESSAGE", callId, "Content-Type: text/plain\r\n");
    const std::string empty = "Content-Length: 0\r\n";
    text.replace(text.find(empty), empty.size(), "Content-Length: " + std::to_string(body.size()) + "\r\n");
    return text + body;
}

std::string headerWithContentLength(long long length) {
    std::string text = tcpRequest("big");
    const std::string empty = "Content-Length: 0\r\n";
    text.replace(text.find(empty), empty.size(), "Content-Length: " + std::to_string(length) + "\r\n");
    return text;
}

// Everything the stack sends on the connection until it closes; nullopt when it does not
// close within the generous deadline.
std::optional<std::string> readToEnd(TcpPeer& peer) {
    std::string bytes;
    char buffer[256];
    try {
        for (;;) {
            const int got = peer.socket().receive(buffer, sizeof buffer, std::chrono::duration_cast<milliseconds>(kGenerous));
            if (got == 0) return std::nullopt;
            bytes.append(buffer, static_cast<std::size_t>(got));
        }
    } catch (const kel_util::SocketException&) {
        return bytes;
    }
}

struct FramingCase {
    const char* name;
    std::vector<std::string> segments;
    bool pauseBetween;  // longer than the receive time-out between segments
    std::vector<std::string> callIds;  // delivered, in this order
    int pongs;                         // single CRLFs sent back
    const char* closeLogLine;          // the stack closes the connection and logs this; null: it stays open
};

void PrintTo(const FramingCase& c, std::ostream* out) { *out << c.name; }

class SipTCPConnectionFramingTest : public ::testing::TestWithParam<FramingCase> {};

TEST_P(SipTCPConnectionFramingTest, DeliversWhatIsFramedAndClosesWhatCannotBe) {
    const FramingCase& c = GetParam();
    tessaly_test::LogCapture log;
    SipConnection::setReceiveTimeout(kReceiveTimeout);
    RecordingTransport transport;
    SipConnectionHandler handler(transport, [](std::unique_ptr<Socket> socket, const SocketAddress& peer) {
        return std::make_unique<SipTCPConnection>(std::move(socket), peer);
    });
    ASSERT_TRUE(handler.init(2, 0, "127.0.0.1", AF_INET, false));
    TcpPeer peer(handler.getLocalAddress());
    for (std::size_t i = 0; i < c.segments.size(); ++i) {
        if (i > 0 && c.pauseBetween) std::this_thread::sleep_for(3 * kReceiveTimeout);
        peer.send(c.segments[i]);
    }
    ASSERT_TRUE(transport.waitCount(c.callIds.size()));
    if (c.closeLogLine != nullptr) {
        EXPECT_TRUE(peer.waitClosed());
    } else {
        // Our end of the stream makes the stack close its side: every byte it sent is then read.
        peer.socket().shutdown(SHUT_WR);
        const auto sent = readToEnd(peer);
        ASSERT_TRUE(sent.has_value());
        std::string pongs;
        for (int i = 0; i < c.pongs; ++i) pongs += "\r\n";
        EXPECT_EQ(*sent, pongs);
    }
    std::vector<std::string> delivered;
    for (const auto& one : transport.received()) delivered.push_back(one.callId);
    EXPECT_EQ(delivered, c.callIds);
    handler.clean();
    SipConnection::setReceiveTimeout(milliseconds(1000));
    if (c.closeLogLine != nullptr) {
        EXPECT_NE(log.text().find(c.closeLogLine), std::string::npos);
    }
}

const std::string kSplit = withBody("split", "hello, world");

INSTANTIATE_TEST_SUITE_P(
    Cases, SipTCPConnectionFramingTest,
    ::testing::Values(
        FramingCase{"TwoMessagesInOneSegment", {withBody("a", "body of a") + tcpRequest("b")}, false, {"a", "b"}, 0, nullptr},
        FramingCase{"SplitAcrossMoreThanTheReceiveTimeout",
                    {kSplit.substr(0, 10), kSplit.substr(10, 80), kSplit.substr(90, kSplit.size() - 95),
                     kSplit.substr(kSplit.size() - 5)},
                    true, {"split"}, 0, nullptr},
        FramingCase{"PingIsAnsweredWithOnePong", {"\r\n\r\n", tcpRequest("a"), "\r\n", "\r\n"}, false, {"a"}, 2, nullptr},
        FramingCase{"PongIsNotAnswered", {"\r\n" + tcpRequest("a") + "\r\n" + tcpRequest("b")}, false, {"a", "b"}, 0, nullptr},
        FramingCase{"ContentLengthBeyondTheCapCloses",
                    {tcpRequest("a") + headerWithContentLength(kel_sip::SipMessage::DefaultStreamContentLength + 1)}, false,
                    {"a"}, 0, "SipConnection::receive. Failed receive SipMessage"},
        FramingCase{"HeaderLineWithoutEndCloses", {std::string(70000, 'a')}, false, {}, 0,
                    "SipConnection::receive. Failed receive SipMessage, result=-4"},
        FramingCase{"EndlessHeaderBlockCloses",
                    {"OPTIONS sip:bob@127.0.0.1 SIP/2.0\r\n" + [] {
                         std::string lines;
                         while (lines.size() < 70000) lines += "X-Filler: 0123456789012345678901234567890123456789\r\n";
                         return lines;
                     }()},
                    false, {}, 0, "reason=[header too long]"},
        FramingCase{"StartLineThatDoesNotParseCloses", {"HELLO\r\n\r\n"}, false, {}, 0,
                    "SipConnection::receive. Failed receive SipMessage, result=-1"}),
    [](const ::testing::TestParamInfo<FramingCase>& info) { return std::string(info.param.name); });

// The reader itself on one connection: a message cut at any byte is not taken before its last
// byte, then taken whole with its body.
TEST(SipTCPConnectionTest, MessageSplitAtEveryByteOffsetIsTakenWholeOnce) {
    Socket listener;
    listener.open(AF_INET, SOCK_STREAM);
    listener.bind(loopback(AF_INET));
    listener.listen(1);
    const std::string text = withBody("offset", "body");
    for (std::size_t offset = 1; offset < text.size(); ++offset) {
        SCOPED_TRACE(offset);
        TcpPeer peer(listener.getLocalAddress());
        auto accepted = std::make_unique<Socket>();
        SocketAddress from;
        ASSERT_TRUE(listener.accept(*accepted, from, milliseconds(5000)));
        SipTCPConnection connection(std::move(accepted), from);
        std::unique_ptr<kel_sip::SipMessageExt> message;
        peer.send(text.substr(0, offset));
        ASSERT_TRUE(eventually([&] { return connection.isDataPending(); }));
        while (connection.isDataPending()) ASSERT_EQ(connection.receive(message), SipConnection::RECEIVE_NOTHING);
        peer.send(text.substr(offset));
        int result = SipConnection::RECEIVE_NOTHING;
        ASSERT_TRUE(eventually([&] { return (result = connection.receive(message)) != SipConnection::RECEIVE_NOTHING; }));
        ASSERT_EQ(result, SipConnection::RECEIVE_MESSAGE);
        EXPECT_EQ(message->callId, "offset");
        EXPECT_EQ(std::string(message->body.getData(), static_cast<std::size_t>(message->body.getLength())), "body");
        EXPECT_EQ(message->peer.port, from.getPort());
        EXPECT_FALSE(connection.isDataPending());
    }
}

}  // namespace
}  // namespace kel_test
