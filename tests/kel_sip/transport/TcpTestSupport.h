// Helpers for the TCP connection tests: a connection that frames header-only messages (the
// real framing with bodies belongs to the TCP transport), a stand-in for the transport's
// workers that keeps every message read, and a TCP peer on 127.0.0.1.
#pragma once

#include <sys/socket.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "../../kel_util/Waiting.h"
#include "TransportTestSupport.h"
#include "kel_sip/transport/SipConnection.h"
#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_util/EventHandler.h"
#include "kel_util/Socket.h"
#include "kel_util/SocketException.h"

namespace kel_test {

// Messages end at the first empty line; a line end before a message is a keep-alive; a full
// buffer without an empty line, or a block that does not parse, fails the connection.
class HeaderOnlyConnection : public kel_sip::SipConnection {
public:
    using SipConnection::SipConnection;

    int receive(std::unique_ptr<kel_sip::SipMessageExt>& message) override {
        fillBuffer();
        const std::string_view data(bufferData(), static_cast<std::size_t>(bufferLength()));
        if (data.substr(0, 2) == "\r\n") {
            consume(2);
            return RECEIVE_KEEPALIVE;
        }
        const std::size_t end = data.find("\r\n\r\n");
        if (end == std::string_view::npos) return bufferLength() >= kReceiveBufferSize ? RECEIVE_FAILED : RECEIVE_NOTHING;
        auto parsed = std::make_unique<kel_sip::SipMessageExt>();
        std::string reason;
        const int length = static_cast<int>(end + 4);
        const bool ok = parsed->parse(data.data(), length, reason);
        consume(length);
        if (!ok) return RECEIVE_FAILED;
        message = std::move(parsed);
        return RECEIVE_MESSAGE;
    }
    const char* getTransportName() const override { return "TCP"; }
};

// The transport's workers: keeps (connection ID, Call-ID) of every message read.
class RecordingTransport : public kel_util::EventHandler {
public:
    struct Received {
        int connectionId;
        std::string callId;
    };

    RecordingTransport() { init(1, false); }
    ~RecordingTransport() override { clean(); }

    bool waitCount(std::size_t count) {
        return monitor_.waitFor([&] { return received_.size() >= count; });
    }
    bool waitCallId(const std::string& callId) {
        return monitor_.waitFor([&] {
            for (const auto& one : received_) {
                if (one.callId == callId) return true;
            }
            return false;
        });
    }
    std::vector<Received> received() {
        std::lock_guard<std::mutex> guard(monitor_.mutex());
        return received_;
    }

protected:
    void onEvent(int, int type, intptr_t param1, intptr_t param2, const void*) override {
        std::unique_ptr<kel_sip::SipMessageExt> message(reinterpret_cast<kel_sip::SipMessageExt*>(param1));
        if (type != kel_sip::SIPTCPTRANSPORT_EVMSGTYPE_RECVSIPMESSAGE) return;
        const std::string callId = message->callId;
        monitor_.update([&] { received_.push_back(Received{static_cast<int>(param2), callId}); });
    }
    void onEventClean(int, int, intptr_t param1, intptr_t, const void*) override {
        delete reinterpret_cast<kel_sip::SipMessageExt*>(param1);
    }

private:
    Monitor monitor_;
    std::vector<Received> received_;  // guarded by monitor_
};

inline std::string tcpRequest(const std::string& callId) {
    return requestText("OPTIONS sip:bob@127.0.0.1 SIP/2.0", "SIP/2.0/TCP 127.0.0.1:5070;branch=z9hG4bK1", "OPTIONS", callId);
}

// The remote end of one connection.
class TcpPeer {
public:
    // Opened, not yet connected: its descriptor number is taken now.
    TcpPeer() { socket_.open(AF_INET, SOCK_STREAM); }
    explicit TcpPeer(const kel_util::SocketAddress& to) : TcpPeer() { connect(to); }
    void connect(const kel_util::SocketAddress& to) { socket_.connect(to, Socket::Timeout(-1)); }
    void send(const std::string& text) { socket_.send(text.data(), static_cast<int>(text.size()), Socket::Timeout(-1)); }
    // True when the other side closed (or reset) within the generous deadline.
    bool waitClosed(std::chrono::milliseconds limit = std::chrono::duration_cast<std::chrono::milliseconds>(kGenerous)) {
        char byte;
        try {
            socket_.receive(&byte, 1, limit);  // 0 on time-out; nothing is ever sent to the peer
            return false;
        } catch (const kel_util::SocketException&) {
            return true;
        }
    }
    // Closes with a reset instead of an orderly end.
    void reset() {
        linger off{1, 0};
        ::setsockopt(socket_.getHandle(), SOL_SOCKET, SO_LINGER, &off, sizeof off);
        socket_.close();
    }
    void close() { socket_.close(); }
    Socket& socket() { return socket_; }

private:
    Socket socket_;
};

}  // namespace kel_test
