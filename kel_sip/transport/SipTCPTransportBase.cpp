#include "kel_sip/transport/SipTCPTransportBase.h"

#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_sip/transport/SipTransportHooks.h"
#include "kel_util/Log.h"
#include "kel_util/SocketException.h"

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MAJ;
using kel_util::MIN;
using kel_util::SocketAddress;

namespace kel_sip {
namespace {

constexpr int kDefaultSipPort = 5060;

const char* orNull(const char* text) { return text != nullptr ? text : "NULL"; }

}  // namespace

SipTCPTransportBase::SipTCPTransportBase(SipTransportReceiver& receiver, int transportId,
                                         SipConnectionHandler::ConnectionFactory factory)
    : SipConnectionTransport(receiver, transportId), handler_(*this, std::move(factory)) {}

SipTCPTransportBase::~SipTCPTransportBase() { clean(); }

bool SipTCPTransportBase::init(int workerCount, int handlerWorkerCount, const char* sentByHost, int port,
                               const char* bindAddress, int family, bool tolerateBindFailure) {
    const int id = getTransportId();
    logPrint(DBG,
             "SipTCPTransportBase::init. Initializing SipTCPTransportBase, WorkerNum=%d, SipConnectionHandlerWorkerNum=%d, "
             "SentByAddress=[%s], Port=%d, BindAddr=[%s], ProtocolFamily=%d, BindFailureRetry=%d, TransportID=%d.\n",
             workerCount, handlerWorkerCount, orNull(sentByHost), port, orNull(bindAddress), family,
             tolerateBindFailure ? 1 : 0, id);
    setName("SipTCPTransportBase" + std::to_string(id));
    if (!EventHandlerExt::init(workerCount)) {
        logPrint(MIN, "SipTCPTransportBase::init. Failed to init EventHandlerExt, TransportID=%d.\n", id);
        logPrint(MAJ, "SipTCPTransportBase::init. Failed to init SipTCPTransportBase, TransportID=%d.\n", id);
        return false;
    }
    logPrint(DBG, "SipTCPTransportBase::init. Succeeded to init EventHandlerExt, TransportID=%d.\n", id);
    setSentBy(sentByHost, port);
    if (!handler_.init(handlerWorkerCount, port, bindAddress, family, tolerateBindFailure)) {
        logPrint(MIN, "SipTCPTransportBase::init. Failed to init SipConnectionHandler, TransportID=%d.\n", id);
        EventHandlerExt::clean();
        logPrint(MAJ, "SipTCPTransportBase::init. Failed to init SipTCPTransportBase, TransportID=%d.\n", id);
        return false;
    }
    try {
        const SocketAddress bound = handler_.getLocalAddress();
        family_ = bound.getFamily();
        // A Via naming no port sends responses to 5060: it must name the port the system chose.
        if (port == 0) setSentBy(nullptr, bound.getPort());
    } catch (const kel_util::SocketException&) {
        // Not bound yet (bind failures tolerated): the family and port stay as configured.
        family_ = family == AF_INET6 ? AF_INET6 : AF_INET;
    }
    logPrint(DBG, "SipTCPTransportBase::init. Initialized SipTCPTransportBase, TransportID=%d.\n", id);
    return true;
}

void SipTCPTransportBase::clean() {
    logPrint(DET, "SipTCPTransportBase::clean. Cleaning SipTCPTransportBase, TransportID=%d.\n", getTransportId());
    // The handler first: no message is posted to the workers after it stops.
    handler_.clean();
    EventHandlerExt::clean();
}

int SipTCPTransportBase::getTransportType() const { return kTransportTCP; }

int SipTCPTransportBase::getLocalAddressFamily() const { return family_; }

int SipTCPTransportBase::connect(const SocketAddress& address, std::chrono::milliseconds timeout) {
    logPrint(DET, "SipTCPTransportBase::connect. Connecting to [%s], TransportID=%d.\n", address.toString().c_str(),
             getTransportId());
    return handler_.connect(address, timeout);
}

bool SipTCPTransportBase::disconnect(int connectionId) {
    logPrint(DET, "SipTCPTransportBase::disconnect. Disconnecting ConnectionID=%d, TransportID=%d.\n", connectionId,
             getTransportId());
    return handler_.disconnect(connectionId);
}

void SipTCPTransportBase::stopAppConnControlTimer(int connectionId) {
    logPrint(DET,
             "SipTCPTransportBase::stopAppConnControlTimer. Stopping application connection control timer, "
             "ConnectionID=%d, TransportID=%d.\n",
             connectionId, getTransportId());
    handler_.stopAppConnControlTimer(connectionId);
}

void SipTCPTransportBase::onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    if (type != SIPTCPTRANSPORT_EVMSGTYPE_RECVSIPMESSAGE) {
        EventHandlerExt::onEvent(workerId, type, param1, param2, from);
        return;
    }
    std::unique_ptr<SipMessageExt> message(reinterpret_cast<SipMessageExt*>(param1));
    // The event lock is held until the message is handed over: two messages of one connection
    // reach the transaction controller in the order they came (a CANCEL after its INVITE, a
    // BYE after its ACK). The hand-over only matches and queues, so the lock is held briefly.
    logPrint(kel_util::DEV,
             "SipTCPTransportBase::onEvent. Event SIPTCPTRANSPORT_EVMSGTYPE_RECVSIPMESSAGE, worker id=%d, type=%d, "
             "param1=%d, param2=%d, from=%p, TransportID=%d.\n",
             workerId, type, static_cast<int>(param1), static_cast<int>(param2), from, getTransportId());
    const bool received = receiveFromConnection(std::move(message), static_cast<int>(param2));
    releaseEventLock();
    if (received) {
        logPrint(kel_util::DEV, "SipTCPTransportBase::onEvent. Succeeded procReceiveSipMessage, TransportID=%d.\n",
                 getTransportId());
    } else {
        logPrint(MIN, "SipTCPTransportBase::onEvent. Failed procReceiveSipMessage, TransportID=%d.\n", getTransportId());
    }
}

void SipTCPTransportBase::onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    if (type != SIPTCPTRANSPORT_EVMSGTYPE_RECVSIPMESSAGE) {
        EventHandlerExt::onEventClean(workerId, type, param1, param2, from);
        return;
    }
    delete reinterpret_cast<SipMessageExt*>(param1);
    releaseEventLock();
}

bool SipTCPTransportBase::receiveFromConnection(std::unique_ptr<SipMessageExt> message, int connectionId) {
    SocketAddress alias(getLocalAddressFamily());
    const bool withAlias = handler_.getUseAlias() && message->isRequest && aliasAddress(*message, alias);
    if (!procReceiveSipMessage(std::move(message))) {
        logPrint(MIN, "SipTCPTransportBase::procReceiveSipMessage. Failed procReceiveSipMessage, TransportID=%d.\n",
                 getTransportId());
        return false;
    }
    if (withAlias) {
        const std::string text = alias.toString();
        logPrint(DET, "SipTCPTransportBase::procReceiveSipMessage. Adding alias, SocketAddress=[%s], ConnectionID=%d, TransportID=%d.\n",
                 text.c_str(), connectionId, getTransportId());
        if (handler_.addAlias(alias, connectionId) >= 0) {
            logPrint(DET,
                     "SipTCPTransportBase::procReceiveSipMessage. Succeeded add alias, SocketAddress=[%s], ConnectionID=%d, "
                     "TransportID=%d.\n",
                     text.c_str(), connectionId, getTransportId());
        }
    }
    return true;
}

bool SipTCPTransportBase::aliasAddress(const SipMessageExt& request, SocketAddress& alias) const {
    if (request.vias.empty() || request.peer.empty()) return false;
    const int port = request.vias.front().getSentBy().port;
    const SipPeerAddress address{request.peer.host, port > 0 ? port : kDefaultSipPort};
    if (!resolve(address, alias)) {
        logPrint(MIN, "SipTCPTransportBase::procReceiveSipMessage. Failed getSocketAddress, SentBy=[%s], TransportID=%d.\n",
                 address.toString().c_str(), getTransportId());
        return false;
    }
    return true;
}

bool SipTCPTransportBase::resolve(const SipPeerAddress& peer, SocketAddress& address) const {
    const int family = getLocalAddressFamily();
    address = SocketAddress(family);
    return address.set(peer.port, peer.host.c_str(), family);
}

bool SipTCPTransportBase::sendRequest(SipMessageExt& message, int transactionId) {
    const int id = getTransportId();
    logPrint(DBG, "SipTCPTransportBase::sendRequest. Sending SIP request message, TransactionID=%d, TransportID=%d, ConnectionID=%d.\n",
             transactionId, id, message.connectionId);
    if (message.vias.empty()) {
        logPrint(MIN, "SipTCPTransportBase::sendRequest. Via empty, TransactionID=%d, TransportID=%d.\n", transactionId, id);
        return false;
    }
    const int connectionId = requestConnection(message, transactionId);
    return connectionId > 0 && sendOn(connectionId, message, transactionId, true);
}

bool SipTCPTransportBase::sendResponse(SipMessageExt& message, int transactionId) {
    const int id = getTransportId();
    logPrint(DBG, "SipTCPTransportBase::sendResponse. Sending SIP response message, TransactionID=%d, TransportID=%d.\n",
             transactionId, id);
    if (message.vias.empty()) {
        logPrint(MIN, "SipTCPTransportBase::sendResponse. Via empty, TransactionID=%d, TransportID=%d.\n", transactionId, id);
        return false;
    }
    const int connectionId = responseConnection(message, transactionId);
    return connectionId > 0 && sendOn(connectionId, message, transactionId, false);
}

int SipTCPTransportBase::requestConnection(SipMessageExt& message, int transactionId) {
    message.transportId = getTransportId();
    message.transportType = kTransportTCP;
    const int byId = connectionById(message, "sendRequest");
    if (byId > 0) return byId;
    if (message.peer.empty() && !message.setMessagePeer()) {
        logPrint(MIN, "SipTCPTransportBase::sendRequest. Failed setMessagePeer, TransactionID=%d, TransportID=%d.\n",
                 transactionId, getTransportId());
        return -1;
    }
    return connectionToPeer(message, "sendRequest");
}

int SipTCPTransportBase::responseConnection(SipMessageExt& message, int transactionId) {
    message.transportId = getTransportId();
    message.transportType = kTransportTCP;
    const int byId = connectionById(message, "sendResponse");
    if (byId > 0) return byId;
    if (message.peer.empty()) {
        logPrint(MIN, "SipTCPTransportBase::sendResponse. No PresetPeer, TransactionID=%d, TransportID=%d.\n", transactionId,
                 getTransportId());
        return -1;
    }
    SocketAddress destination(getLocalAddressFamily());
    if (resolve(message.peer, destination)) {
        const int byPeer = handler_.findConnection(destination);
        if (byPeer > 0) return byPeer;
    }
    // The request's connection is gone: the address its Via names (RFC 3261 section 18.2.2).
    if (!message.setMessagePeer()) {
        logPrint(MIN, "SipTCPTransportBase::sendResponse. Failed setMessagePeer, TransactionID=%d, TransportID=%d.\n",
                 transactionId, getTransportId());
        return -1;
    }
    return connectionToPeer(message, "sendResponse");
}

int SipTCPTransportBase::connectionById(const SipMessageExt& message, const char* operation) {
    if (message.connectionId < 0) return 0;
    logPrint(DBG, "SipTCPTransportBase::%s. Searching SipConnection, ConnectionID=%d, TransportID=%d.\n", operation,
             message.connectionId, getTransportId());
    SocketAddress peer;
    SocketAddress local;
    if (handler_.getAddresses(message.connectionId, peer, local)) return message.connectionId;
    logPrint(DBG, "SipTCPTransportBase::%s. SipConnection not found, ConnectionID=%d, TransportID=%d.\n", operation,
             message.connectionId, getTransportId());
    return 0;
}

int SipTCPTransportBase::connectionToPeer(const SipMessageExt& message, const char* operation) {
    SocketAddress destination(getLocalAddressFamily());
    const std::string text = message.peer.toString();
    if (!resolve(message.peer, destination)) {
        logPrint(MIN, "SipTCPTransportBase::%s. Failed to resolve [%s], TransportID=%d.\n", operation, text.c_str(),
                 getTransportId());
        return -1;
    }
    logPrint(DBG, "SipTCPTransportBase::%s. Searching SipConnection, SocketAddress=[%s], TransportID=%d.\n", operation,
             text.c_str(), getTransportId());
    const int found = handler_.findConnection(destination);
    if (found > 0) return found;
    logPrint(DBG, "SipTCPTransportBase::%s. SipConnection not found, SocketAddress=[%s], ConnectionID=%d, TransportID=%d.\n",
             operation, text.c_str(), message.connectionId, getTransportId());
    const int made = handler_.connect(destination, std::chrono::milliseconds(0));
    if (made > 0) {
        logPrint(DET, "SipTCPTransportBase::%s. Succeeded _connect, dest=[%s], id=%d, TransportID=%d.\n", operation,
                 text.c_str(), made, getTransportId());
    } else {
        logPrint(MIN, "SipTCPTransportBase::%s. Failed _connect, dest=[%s], TransportID=%d.\n", operation, text.c_str(),
                 getTransportId());
    }
    return made;
}

bool SipTCPTransportBase::sendOn(int connectionId, SipMessageExt& message, int transactionId, bool request) {
    const char* const operation = request ? "sendRequest" : "sendResponse";
    SocketAddress peer;
    SocketAddress local;
    if (!handler_.getAddresses(connectionId, peer, local)) {
        logPrint(MIN, "SipTCPTransportBase::%s. SipConnection gone, id=%d, TransactionID=%d.\n", operation, connectionId,
                 transactionId);
        return false;
    }
    message.peer = SipPeerAddress{peer.getHost(), peer.getPort()};
    if (request) {
        SipVia& via = message.vias.front();
        completeTopVia(via);
        if (viaAlias_) via.setAlias(true);
        if (viaConnectionSrcPort_) via.getSentBy().port = local.getPort();
    }
    // A swallowed message is no traffic: the connection's idle timer is left as it is.
    if (runSendFilterHook(message, *this)) {
        logPrint(DET,
                 "SipTCPTransportBase::%s. Sending Sip%sMessage filtered, type=[%s], method=[%s], TransactionID=%d, "
                 "TransportID=%d.\n",
                 operation, request ? "Request" : "Response", message.isRequest ? "request" : "response",
                 std::string(message.getMethodName()).c_str(), transactionId, getTransportId());
        return true;
    }
    if (!handler_.send(connectionId, message, transactionId)) {
        logPrint(MIN, "SipConnectionHandler::_send. Failed send, TransactionID=%d, id=%d.\n", transactionId, connectionId);
        return false;
    }
    logPrint(DBG, "SipConnectionHandler::_send. Succeeded send, TransactionID=%d, id=%d.\n", transactionId, connectionId);
    return true;
}

}  // namespace kel_sip
