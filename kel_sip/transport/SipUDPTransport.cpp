#include "kel_sip/transport/SipUDPTransport.h"

#include <memory>

#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_sip/transport/SipTransportHooks.h"
#include "kel_util/Log.h"
#include "kel_util/MessageCaptor.h"
#include "kel_util/SocketException.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {

using kel_util::Datagram;
using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MAJ;
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
    setName("SipUDPTransport" + std::to_string(transportId));
    listener_.setTarget(this, SIPTRANSPORT_EVMSGTYPE_RECEIVEUDP);
    listener_.setReceiveTimeout(kReceiveTimeout);
}

SipUDPTransport::~SipUDPTransport() { clean(); }

bool SipUDPTransport::init(int workerCount, const char* sentByHost, int port, const char* bindAddress, int family,
                           bool tolerateBindFailure) {
    logPrint(DBG,
             "SipUDPTransport::init. Initializing SipUDPTransport, WorkerNum=%d, SentByAddress=[%s], Port=%d, "
             "BindAddr=[%s], ProtocolFamily=%d, BindFailureRetry=%d.\n",
             workerCount, orNull(sentByHost), port, orNull(bindAddress), family, tolerateBindFailure ? 1 : 0);
    if (!EventHandler::init(workerCount, false)) {
        logPrint(MIN, "SipUDPTransport::init. Failed to init EventHandlerExt.\n");
        logPrint(MAJ, "SipUDPTransport::init. Failed to init SipUDPTransport.\n");
        return false;
    }
    logPrint(DBG, "SipUDPTransport::init. Succeeded to init EventHandlerExt.\n");
    if (!open(sentByHost, port, bindAddress, family, tolerateBindFailure)) {
        EventHandler::clean();
        logPrint(MAJ, "SipUDPTransport::init. Failed to init SipUDPTransport.\n");
        return false;
    }
    logPrint(DBG, "SipUDPTransport::init. Initialized SipUDPTransport.\n");
    return true;
}

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

void SipUDPTransport::clean() {
    logPrint(DET, "SipUDPTransport::clean. Cleaning SipUDPTransport.\n");
    close();
    EventHandler::clean();
    logPrint(DET, "SipUDPTransport::clean. SipUDPTransport cleaned.\n");
}

int SipUDPTransport::getTransportType() const { return kTransportUDP; }

int SipUDPTransport::getLocalAddressFamily() const { return listener_.getAddress().getFamily(); }

SocketAddress SipUDPTransport::getLocalAddress() { return listener_.getLocalAddress(); }

bool SipUDPTransport::startProc(int workerId) {
    logPrint(DET, "SipUDPTransport::startProc. Starting SipUDPTransport, worker id=%d.\n", workerId);
    return EventHandler::startProc(workerId);
}

void SipUDPTransport::endProc(int workerId) {
    logPrint(DET, "SipUDPTransport::endProc. Stopping SipUDPTransport, worker id=%d.\n", workerId);
    EventHandler::endProc(workerId);
}

void SipUDPTransport::onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    if (type != SIPTRANSPORT_EVMSGTYPE_RECEIVEUDP) return;
    std::unique_ptr<Datagram> datagram(reinterpret_cast<Datagram*>(param1));
    logPrint(DBG,
             "SipUDPTransport::onEvent. Event SIPTRANSPORT_EVMSGTYPE_RECEIVEUDP, worker id=%d, type=%d, param1=%p, "
             "param2=%ld, from=%p.\n",
             workerId, type, static_cast<void*>(datagram.get()), static_cast<long>(param2), from);
    if (datagram == nullptr) return;
    if (procReceiveUDP(*datagram)) {
        logPrint(DBG, "SipUDPTransport::onEvent. Succeeded procReceiveUDP.\n");
    } else {
        logPrint(MIN, "SipUDPTransport::onEvent. Failed procReceiveUDP.\n");
    }
}

void SipUDPTransport::onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    if (type != SIPTRANSPORT_EVMSGTYPE_RECEIVEUDP) return;
    std::unique_ptr<Datagram> datagram(reinterpret_cast<Datagram*>(param1));
    logPrint(DBG,
             "SipUDPTransport::onEventClean. Event SIPTRANSPORT_EVMSGTYPE_RECEIVEUDP, worker id=%d, type=%d, "
             "param1=%p, param2=%ld, from=%p.\n",
             workerId, type, static_cast<void*>(datagram.get()), static_cast<long>(param2), from);
}

bool SipUDPTransport::procReceiveUDP(const Datagram& datagram) {
    const char* const data = datagram.getData();
    const int length = datagram.getLength();
    const std::string source = datagram.getFrom().toString();
    logPrint(DBG, "SipUDPTransport::procReceiveUDP. Received UDP bytes=%d, from [%s].\n", length, source.c_str());
    if (kel_util::logLevel() > DET) {
        const std::string header = "SipUDPTransport::procReceiveUDP. Dumping received UDP data, bytes=" +
                                   std::to_string(length) + ", from [" + source + "].\n";
        kel_util::logDump(DBG, data, length, header.c_str(), "> ");
    }
    kel_util::MessageCaptor::captureMessage(data, length, kel_util::capture::Direction::RECEIVED,
                                            kel_util::capture::Transport::UDP, datagram.getFrom(), listener_.getAddress());

    auto message = std::make_unique<SipMessageExt>();
    std::string reason;
    if (!message->parse(data, length, reason)) {
        logPrint(MIN, "SipUDPTransport::procReceiveUDP. Failed SipMessageExt parse, reason=[%s].\n", reason.c_str());
        if (!looksLikeResponse(data, length)) {
            message->peer = peerOf(datagram.getFrom());
            answerRequest(*message, 400, reason, "SipUDPTransport::procReceiveUDP");
        }
        return true;
    }
    message->peer = peerOf(datagram.getFrom());
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
    const std::string target = destination.toString();
    logPrint(DET, "SipUDPTransport::sendMessage. Sending UDP bytes=%d, to [%s], TransactionID=%d.\n", length,
             target.c_str(), transactionId);
    if (kel_util::logLevel() > DET) {
        const std::string header = "SipUDPTransport::sendMessage. Dumping sending UDP data, bytes=" +
                                   std::to_string(length) + ", to [" + target + "], TransactionID=" +
                                   std::to_string(transactionId) + ".\n";
        kel_util::logDump(DBG, bytes.data(), length, header.c_str(), "< ");
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
