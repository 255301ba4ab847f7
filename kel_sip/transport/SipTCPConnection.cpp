#include "kel_sip/transport/SipTCPConnection.h"

#include <algorithm>

#include "kel_util/Log.h"
#include "kel_util/MessageCaptor.h"
#include "kel_util/SocketException.h"

using kel_util::DBG;
using kel_util::DEV;
using kel_util::logPrint;
using kel_util::MIN;

namespace kel_sip {
namespace {

// The bytes received so far as a stream that has nothing more: readFrom then either frames a
// whole message out of them or reports that the message goes on past them.
class NoMoreBytes : public kel_util::ByteSource {
public:
    int receive(char*, int, int) override { return -1; }
};

// readFrom results that only mean the bytes end inside a message.
bool endsInsideMessage(int result) {
    return result == SipMessage::ReadNoStartLine || result == SipMessage::ReadBroken ||
           result == SipMessage::ReadBufferFull || result == SipMessage::ReadClosed;
}

}  // namespace

SipTCPConnection::SipTCPConnection(std::unique_ptr<kel_util::Socket> socket, const kel_util::SocketAddress& peer,
                                   int maxContentLength)
    : SipConnection(std::move(socket), peer), maxContentLength_(maxContentLength) {}

int SipTCPConnection::receive(std::unique_ptr<SipMessageExt>& message) {
    logPrint(DEV, "SipConnection::receive. Receiving from [%s], ReceiveTOMSec=%d, id=%d.\n",
             getPeerAddress().toString().c_str(), static_cast<int>(getReceiveTimeout().count()), getId());
    for (;;) {
        if (fresh_) {
            const int result = frame(message);
            if (result != RECEIVE_NOTHING) return result;
        }
        if (!readAvailable()) {
            logPrint(DEV, "SipConnection::receive. Detected WANT READ, from [%s], RecvDataLen=%d, id=%d.\n",
                     getPeerAddress().toString().c_str(), static_cast<int>(unframed_.size()), getId());
            return RECEIVE_NOTHING;
        }
    }
}

bool SipTCPConnection::readAvailable() {
    // Bounded by one header block and body: more is never needed to frame the next message.
    const std::size_t limit = static_cast<std::size_t>(SipMessage::MaxStreamHeaderLength) +
                              static_cast<std::size_t>(std::max(maxContentLength_, 0)) + kReceiveBufferSize;
    bool any = false;
    try {
        while (unframed_.size() < limit && fillBuffer() > 0) {
            unframed_.append(bufferData(), static_cast<std::size_t>(bufferLength()));
            consume(bufferLength());
            any = true;
        }
    } catch (const kel_util::SocketException&) {
        // Messages that came before the end are framed first; the next read sees the end again.
        if (!any) throw;
    }
    fresh_ = fresh_ || any;
    return any;
}

int SipTCPConnection::frame(std::unique_ptr<SipMessageExt>& message) {
    // readFrom moves bytes inside its buffer; a copy keeps unframed_ whole when the message
    // is not complete yet.
    std::string work = unframed_;
    const int size = static_cast<int>(work.size());
    int filled = size;
    NoMoreBytes source;
    auto parsed = std::make_unique<SipMessageExt>();
    std::string reason;
    const int result = parsed->readFrom(source, work.data(), size, filled, 0, reason, nullptr, 0, maxContentLength_);
    if (result > 0) {
        const std::string raw = unframed_.substr(0, static_cast<std::size_t>(result));
        unframed_.erase(0, static_cast<std::size_t>(result));
        keepAliveCount = 0;
        onMessage(*parsed, raw);
        message = std::move(parsed);
        return RECEIVE_MESSAGE;
    }
    if (result == SipMessage::ReadKeepAlive) {
        unframed_.erase(0, static_cast<std::size_t>(size - filled));
        return onKeepAlive();
    }
    if (endsInsideMessage(result) && !headerTooLong()) {
        fresh_ = false;
        return RECEIVE_NOTHING;
    }
    if (reason.empty()) reason = "header too long";
    logPrint(MIN, "SipConnection::receive. Failed receive SipMessage, result=%d, reason=[%s], from [%s], RecvDataLen=%d, id=%d.\n",
             result, reason.c_str(), getPeerAddress().toString().c_str(), size, getId());
    return RECEIVE_FAILED;
}

bool SipTCPConnection::headerTooLong() const {
    const std::size_t end = std::min(unframed_.find("\n\r\n"), unframed_.find("\n\n"));
    const std::size_t headerBytes = end == std::string::npos ? unframed_.size() : end;
    return headerBytes > static_cast<std::size_t>(SipMessage::MaxStreamHeaderLength);
}

int SipTCPConnection::onKeepAlive() {
    logPrint(DEV, "SipConnection::receive. CRLF Received, from [%s], RecvDataLen=%d, id=%d.\n",
             getPeerAddress().toString().c_str(), static_cast<int>(unframed_.size()), getId());
    if (++keepAliveCount < 2) return RECEIVE_KEEPALIVE;
    // The second line end of a double CRLF: a ping, answered by a pong, one CRLF.
    keepAliveCount = 0;
    return sendAll("\r\n") ? RECEIVE_KEEPALIVE : RECEIVE_FAILED;
}

void SipTCPConnection::onMessage(SipMessageExt& message, const std::string& raw) {
    const int length = static_cast<int>(raw.size());
    const std::string from = getPeerAddress().toString();
    logPrint(DEV, "SipConnection::receive. Succeeded receive SipMessage, bytes=%d, ReceiveDataLen=%d, from [%s], id=%d.\n",
             length, static_cast<int>(unframed_.size()), from.c_str(), getId());
    message.peer = SipPeerAddress{getPeerAddress().getHost(), getPeerAddress().getPort()};
    message.connectionId = getId();
    if (kel_util::isLogged(DBG)) {
        const std::string header = "SipConnection::receive. Dumping received TCP data, bytes=" + std::to_string(length) +
                                   ", from [" + from + "].\n";
        kel_util::logDump(DBG, raw.data(), length, header.c_str(), "> ");
    }
    kel_util::MessageCaptor::captureMessage(raw.data(), length, kel_util::capture::Direction::RECEIVED,
                                            kel_util::capture::Transport::TCP, getPeerAddress(), getLocalAddress());
}

}  // namespace kel_sip
