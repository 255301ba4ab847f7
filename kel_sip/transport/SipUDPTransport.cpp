#include "kel_sip/transport/SipUDPTransport.h"

#include <memory>

#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_sip/transport/SipTransportHooks.h"
#include "kel_util/Log.h"
#include "kel_util/MessageCaptor.h"
#include "kel_util/SocketException.h"
#include "kel_util/HeaderField.h"
#include "kel_util/UDPSenderBase.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;
using kel_util::SocketAddress;
using kel_util::SocketException;

namespace {

constexpr std::chrono::milliseconds kReceiveTimeout{1000};

const char* orNull(const char* text) { return text != nullptr ? text : "NULL"; }

// A datagram whose first line starts like a status line is a response, even when that line
// does not parse: it is never answered.
bool looksLikeResponse(const char* data, int length) {
    return length >= 4 && kel_util::equalsIgnoreCase(std::string_view(data, 4), "SIP/");
}

// The numeric source of a datagram as a message peer; empty when it has no text form.
SipPeerAddress peerOf(const SocketAddress& address) {
    try {
        return SipPeerAddress{address.getHost(), address.getPort()};
    } catch (const SocketException& error) {
        logPrint(MIN, "SipUDPTransport::peerOf. SocketException [%s](%d).\n", error.toString().c_str(), error.getCode());
        return {};
    }
}

}  // namespace

SipUDPTransport::SipUDPTransport(SipTransportReceiver& receiver, int transportId)
    : SipTransportBase(receiver, transportId) {
    listener_.setReceiver(this);
    listener_.setReceiveTimeout(kReceiveTimeout);
    listener_.setSocketBufferSize(kSocketBufferSize);
}

SipUDPTransport::~SipUDPTransport() { close(); }

bool SipUDPTransport::open(const char* sentByHost, int port, const char* bindAddress, int family,
                           bool tolerateBindFailure) {
    logPrint(DBG,
             "SipUDPTransport::open. Opening SipUDPTransport, SentByAddress=[%s], Port=%d, BindAddr=[%s], "
             "ProtocolFamily=%d, BindFailureRetry=%d.\n",
             orNull(sentByHost), port, orNull(bindAddress), family, tolerateBindFailure ? 1 : 0);
    setSentBy(sentByHost, port);
    try {
        if (!listener_.init(port, bindAddress, family, tolerateBindFailure, {})) {
            logPrint(MIN, "SipUDPTransport::open. Failed to init UDPPortListner.\n");
            return false;
        }
    } catch (const SocketException& error) {
        logPrint(MIN, "SipUDPTransport::open. Failed init UDPPortListner, SocketException [%s](%d).\n",
                 error.toString().c_str(), error.getCode());
        return false;
    }
    if (port == 0) adoptBoundPort();
    logPrint(DBG, "SipUDPTransport::open. SipUDPTransport opened.\n");
    return true;
}

void SipUDPTransport::adoptBoundPort() {
    // A Via without a port sends responses to 5060; with a port the system chose, the Via
    // must name that one.
    try {
        setSentBy(nullptr, listener_.getLocalAddress().getPort());
    } catch (const SocketException& error) {
        logPrint(MIN, "SipUDPTransport::open. No bound port yet, SocketException [%s](%d).\n", error.toString().c_str(),
                 error.getCode());
    }
}

void SipUDPTransport::close() {
    logPrint(DET, "SipUDPTransport::close. Closing SipUDPTransport.\n");
    listener_.stop();
    logPrint(DET, "SipUDPTransport::close. SipUDPTransport closed.\n");
}

int SipUDPTransport::getTransportType() const { return kTransportUDP; }

int SipUDPTransport::getLocalAddressFamily() const { return listener_.getAddress().getFamily(); }

SocketAddress SipUDPTransport::getLocalAddress() { return listener_.getLocalAddress(); }

void SipUDPTransport::onDatagram(const char* data, int length, const SocketAddress& from, kel_util::UDPSenderBase&) {
    if (procReceiveUDP(data, length, from)) {
        logPrint(DBG, "SipUDPTransport::onDatagram. Succeeded procReceiveUDP.\n");
    } else {
        logPrint(MIN, "SipUDPTransport::onDatagram. Failed procReceiveUDP.\n");
    }
}

bool SipUDPTransport::procReceiveUDP(const char* data, int length, const SocketAddress& from) {
    if (kel_util::isLogged(DBG)) {
        const std::string source = from.toString();
        logPrint(DBG, "SipUDPTransport::procReceiveUDP. Received UDP bytes=%d, from [%s].\n", length, source.c_str());
        const std::string header = "SipUDPTransport::procReceiveUDP. Dumping received UDP data, bytes=" +
                                   std::to_string(length) + ", from [" + source + "].\n";
        kel_util::logDump(DBG, data, length, header.c_str(), "> ");
    }
    kel_util::MessageCaptor::captureMessage(data, length, kel_util::capture::Direction::RECEIVED,
                                            kel_util::capture::Transport::UDP, from, listener_.getAddress());

    auto message = std::make_unique<SipMessageExt>();
    std::string reason;
    if (!message->parse(data, length, reason)) {
        logPrint(MIN, "SipUDPTransport::procReceiveUDP. Failed SipMessageExt parse, reason=[%s].\n", reason.c_str());
        if (!looksLikeResponse(data, length)) {
            message->peer = peerOf(from);
            answerRequest(*message, 400, reason, "SipUDPTransport::procReceiveUDP");
        }
        return true;
    }
    message->peer = peerOf(from);
    if (!procReceiveSipMessage(std::move(message))) {
        logPrint(MIN, "SipUDPTransport::procReceiveUDP. Failed procReceiveSipMessage.\n");
        return false;
    }
    logPrint(DBG, "SipUDPTransport::procReceiveUDP. Succeeded procReceiveSipMessage.\n");
    return true;
}

bool SipUDPTransport::sendRequest(SipMessageExt& message, int transactionId) {
    return send(message, transactionId, true);
}

bool SipUDPTransport::sendResponse(SipMessageExt& message, int transactionId) {
    return send(message, transactionId, false);
}

bool SipUDPTransport::send(SipMessageExt& message, int transactionId, bool request) {
    const char* const operation = request ? "sendRequest" : "sendResponse";
    logPrint(DBG, "SipUDPTransport::%s. Sending SIP %s message, TransactionID=%d.\n", operation,
             request ? "request" : "response", transactionId);
    if (message.vias.empty()) {
        logPrint(MIN, "SipUDPTransport::%s. Via empty, TransactionID=%d.\n", operation, transactionId);
        return false;
    }
    message.transportId = getTransportId();
    message.transportType = kTransportUDP;
    if (message.peer.empty() && !message.setMessagePeer()) {
        logPrint(MIN, "SipUDPTransport::%s. Failed setMessagePeer, TransactionID=%d.\n", operation, transactionId);
        return false;
    }
    if (request) completeTopVia(message.vias.front());
    if (runSendFilterHook(message, *this)) {
        logPrint(DET, "SipUDPTransport::%s. Sending Sip%sMessage filtered, type=[%s], method=[%s], TransactionID=%d.\n",
                 operation, request ? "Request" : "Response", message.isRequest ? "request" : "response",
                 std::string(message.getMethodName()).c_str(), transactionId);
        return true;
    }
    if (!sendMessage(message, transactionId)) {
        logPrint(MIN, "SipUDPTransport::%s. Failed sendMessage, TransactionID=%d.\n", operation, transactionId);
        return false;
    }
    logPrint(DBG, "SipUDPTransport::%s. Succeeded sendMessage, TransactionID=%d.\n", operation, transactionId);
    return true;
}

bool SipUDPTransport::sendMessage(SipMessageExt& message, int transactionId) {
    SocketAddress destination(getLocalAddressFamily());
    if (!destination.set(message.peer.port, message.peer.host.c_str(), getLocalAddressFamily())) {
        logPrint(MIN, "SipUDPTransport::sendMessage. Failed to resolve [%s], TransactionID=%d.\n",
                 message.peer.toString().c_str(), transactionId);
        return false;
    }
    std::string bytes;
    message.print(bytes);
    const int length = static_cast<int>(bytes.size());
    if (kel_util::isLogged(DET)) {
        const std::string target = destination.toString();
        logPrint(DET, "SipUDPTransport::sendMessage. Sending UDP bytes=%d, to [%s], TransactionID=%d.\n", length,
                 target.c_str(), transactionId);
        if (kel_util::isLogged(DBG)) {
            const std::string header = "SipUDPTransport::sendMessage. Dumping sending UDP data, bytes=" +
                                       std::to_string(length) + ", to [" + target + "], TransactionID=" +
                                       std::to_string(transactionId) + ".\n";
            kel_util::logDump(DBG, bytes.data(), length, header.c_str(), "< ");
        }
    }
    kel_util::MessageCaptor::captureMessage(bytes.data(), length, kel_util::capture::Direction::SENT,
                                            kel_util::capture::Transport::UDP, listener_.getAddress(), destination);
    try {
        if (listener_.sendTo(bytes.data(), length, destination, kel_util::Socket::Timeout(-1)) == 0) {
            logPrint(MIN, "SipUDPTransport::sendMessage. Socket sendTo timeout, TransactionID=%d.\n", transactionId);
            return false;
        }
    } catch (const SocketException& error) {
        logPrint(MIN, "SipUDPTransport::sendMessage. SocketException %s, TransactionID=%d.\n", error.toString().c_str(),
                 transactionId);
        return false;
    }
    return true;
}

}  // namespace kel_sip
