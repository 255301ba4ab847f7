// Helpers for the transport tests: a recording stand-in for the transaction controller, a
// UDP peer on 127.0.0.1 and the text of test requests.
#pragma once

#include <chrono>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../../kel_util/LoopbackSupport.h"
#include "../../kel_util/Waiting.h"
#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/transport/SipTransportReceiver.h"
#include "kel_util/Socket.h"
#include "kel_util/SocketAddress.h"

namespace kel_test {

// Keeps every message a transport hands over, or refuses them all while refusing is set.
class RecordingReceiver : public kel_sip::SipTransportReceiver {
public:
    struct Taken {
        int eventType;
        std::unique_ptr<kel_sip::SipMessageExt> message;
        kel_sip::SipTransportBase* transport;
    };

    bool takeReceivedMessage(int eventType, std::unique_ptr<kel_sip::SipMessageExt>& message, intptr_t,
                             kel_sip::SipTransportBase& transport) override {
        bool taken = false;
        monitor_.update([&] {
            if (refusing_) return;
            taken_.push_back(Taken{eventType, std::move(message), &transport});
            taken = true;
        });
        return taken;
    }

    void setRefusing(bool refusing) {
        monitor_.update([&] { refusing_ = refusing; });
    }
    bool waitCount(std::size_t count) {
        return monitor_.waitFor([&] { return taken_.size() >= count; });
    }
    std::size_t count() {
        std::lock_guard<std::mutex> guard(monitor_.mutex());
        return taken_.size();
    }
    // The entry at index; call only after waitCount(index + 1) succeeded. The reference stays
    // valid while later messages arrive.
    Taken& at(std::size_t index) {
        std::lock_guard<std::mutex> guard(monitor_.mutex());
        return taken_.at(index);
    }

private:
    Monitor monitor_;
    bool refusing_ = false;
    std::deque<Taken> taken_;  // appending keeps references to earlier entries valid
};

// A datagram socket on 127.0.0.1 that plays the remote SIP peer.
class UdpPeer {
public:
    UdpPeer() { socket_.openAndBind(loopback(AF_INET)); }

    int port() { return socket_.getLocalAddress().getPort(); }
    void send(const std::string& text, const kel_util::SocketAddress& to) {
        socket_.sendTo(text.data(), static_cast<int>(text.size()), to, kel_util::Socket::Timeout(-1));
    }
    // The next datagram, or nothing when none came within the generous deadline.
    std::optional<std::string> receive() {
        std::vector<char> buffer(65536);
        kel_util::SocketAddress from;
        const int length = socket_.receiveFrom(buffer.data(), static_cast<int>(buffer.size()), from,
                                               std::chrono::duration_cast<kel_util::Socket::Timeout>(kGenerous));
        if (length <= 0) return std::nullopt;
        return std::string(buffer.data(), static_cast<size_t>(length));
    }
    // The next datagram parsed; a failed expectation when none came or it does not parse.
    std::unique_ptr<kel_sip::SipMessageExt> receiveMessage() {
        const auto text = receive();
        if (!text) return nullptr;
        auto message = std::make_unique<kel_sip::SipMessageExt>();
        std::string reason;
        if (!message->parse(text->data(), static_cast<int>(text->size()), reason)) return nullptr;
        return message;
    }

private:
    kel_util::DatagramSocket socket_;
};

// The text of a request: startLine, then via as the Via value, the CSeq method taken from
// cseqMethod, callId as the Call-ID, extra header lines, and an empty body.
inline std::string requestText(const std::string& startLine, const std::string& via, const std::string& cseqMethod,
                               const std::string& callId, const std::string& extra = {}) {
    return startLine + "\r\nVia: " + via +
           "\r\nFrom: <sip:alice@127.0.0.1>;tag=from1\r\nTo: <sip:bob@127.0.0.1>\r\nCall-ID: " + callId +
           "\r\nCSeq: 1 " + cseqMethod + "\r\nMax-Forwards: 70\r\n" + extra + "Content-Length: 0\r\n\r\n";
}

}  // namespace kel_test
