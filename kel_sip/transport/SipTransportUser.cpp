#include "kel_sip/transport/SipTransportUser.h"

#include <string>

#include "kel_sip/syntax/SipTransportType.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;
using kel_util::ScopedLock;

namespace {

template <class Transport>
bool addTo(kel_util::Mutex& mutex, std::map<int, Transport*>& transports, Transport*& defaultTransport,
           Transport* transport) {
    if (transport == nullptr || transport->getTransportId() < 0) return false;
    ScopedLock<kel_util::Mutex> guard(mutex);
    if (!transports.emplace(transport->getTransportId(), transport).second) return false;
    defaultTransport = transport;
    return true;
}

// The transport registered under transportId, else the default of its kind.
template <class Transport>
Transport* findOrDefault(kel_util::Mutex& mutex, const std::map<int, Transport*>& transports,
                         Transport* const& defaultTransport, int transportId) {
    ScopedLock<kel_util::Mutex> guard(mutex);
    const auto found = transports.find(transportId);
    return found != transports.end() ? found->second : defaultTransport;
}

// The transport type a message goes out on: its own, or the one its top Via names.
int typeOf(const SipMessageExt& message) {
    if (message.transportType != kTransportNone) return message.transportType;
    return message.vias.empty() ? kTransportNone : transportTypeOf(message.vias.front().getTransport());
}

bool isConnectionType(int type) { return type == kTransportTCP || type == kTransportTLS; }

}  // namespace

bool SipTransportUser::addUDPTransport(SipTransportBase* transport) {
    return addTo(udpMutex_, udpTransports_, defaultUDP_, transport);
}

bool SipTransportUser::addTCPTransport(SipConnectionTransport* transport) {
    return addTo(tcpMutex_, tcpTransports_, defaultTCP_, transport);
}

SipTransportBase* SipTransportUser::getTransport(SipMessageExt& message) {
    const int type = typeOf(message);
    SipTransportBase* transport = nullptr;
    if (type == kTransportTCP) {
        transport = findOrDefault(tcpMutex_, tcpTransports_, defaultTCP_, message.transportId);
    } else if (type != kTransportTLS && type != kTransportSCTP) {
        transport = findOrDefault(udpMutex_, udpTransports_, defaultUDP_, message.transportId);
    }
    if (transport != nullptr) {
        message.transportType = transport->getTransportType();
        message.transportId = transport->getTransportId();
    }
    return transport;
}

bool SipTransportUser::sendRequestByTransport(SipMessageExt& message, int transactionId) {
    return sendByTransport(message, transactionId, true);
}

bool SipTransportUser::sendResponseByTransport(SipMessageExt& message, int transactionId) {
    return sendByTransport(message, transactionId, false);
}

bool SipTransportUser::sendByTransport(SipMessageExt& message, int transactionId, bool request) {
    const char* const operation = request ? "sendRequestByTransport" : "sendResponseByTransport";
    const char* const send = request ? "sendRequest" : "sendResponse";
    std::string what = "Method=[" + std::string(message.getMethodName()) + "]";
    if (!request) what += ", StatusCode=" + std::to_string(message.statusCode);
    SipTransportBase* transport = getTransport(message);
    if (transport == nullptr) {
        logPrint(MIN, "SipTransportUser::%s. No transport, %s, SipTransportBase=%p, TransactionID=%d.\n", operation,
                 what.c_str(), static_cast<void*>(transport), transactionId);
        return false;
    }
    logPrint(DBG,
             "SipTransportUser::%s. Sending message, %s, SipTransportType=%d, TransportID=%d, SipTransportBase=%p, "
             "TransactionID=%d.\n",
             operation, what.c_str(), message.transportType, message.transportId, static_cast<void*>(transport),
             transactionId);
    const bool sent = request ? transport->sendRequest(message, transactionId) : transport->sendResponse(message, transactionId);
    logPrint(sent ? DBG : MIN, "SipTransportUser::%s. %s %s, %s, SipTransportBase=%p, TransactionID=%d.\n", operation,
             sent ? "Succeeded" : "Failed", send, what.c_str(), static_cast<void*>(transport), transactionId);
    return sent;
}

SipConnectionTransport* SipTransportUser::connectionTransport(const char* operation, int type, int transportId,
                                                              const std::string& detail) {
    if (!isConnectionType(type)) {
        logPrint(MIN, "SipTransportUser::%s. Invalid SipTransportType=%d, TransportID=%d, %s.\n", operation, type,
                 transportId, detail.c_str());
        return nullptr;
    }
    SipConnectionTransport* transport = nullptr;
    {
        ScopedLock<kel_util::Mutex> guard(tcpMutex_);
        const auto found = tcpTransports_.find(transportId);
        if (found != tcpTransports_.end()) transport = found->second;
    }
    if (transport == nullptr) {
        logPrint(MIN, "SipTransportUser::%s. No transport, SipTransportType=%d, TransportID=%d, %s.\n", operation,
                 type, transportId, detail.c_str());
    }
    return transport;
}

int SipTransportUser::connectTransport(int type, int transportId, const kel_util::SocketAddress& address,
                                       std::chrono::milliseconds timeout) {
    const std::string detail = "Address=[" + address.toString() + "]";
    SipConnectionTransport* transport = connectionTransport("connectTransport", type, transportId, detail);
    if (transport == nullptr) return -1;
    logPrint(DBG, "SipTransportUser::connectTransport. Disconnecting SipTransportType=%d, TransportID=%d, %s.\n", type,
             transportId, detail.c_str());
    const int result = transport->connect(address, timeout);
    if (result < 0) {
        logPrint(MIN, "SipTransportUser::connectTransport. Failed connect, SipTransportType=%d, TransportID=%d, %s, result=%d.\n",
                 type, transportId, detail.c_str(), result);
        return -1;
    }
    logPrint(DBG, "SipTransportUser::connectTransport. Succeeded connect, SipTransportType=%d, TransportID=%d, %s, result=%d.\n",
             type, transportId, detail.c_str(), result);
    return result;
}

bool SipTransportUser::disconnectTransport(int type, int transportId, int connectionId) {
    const std::string detail = "ConnectionID=" + std::to_string(connectionId);
    SipConnectionTransport* transport = connectionTransport("disconnectTransport", type, transportId, detail);
    if (transport == nullptr) return false;
    logPrint(DBG, "SipTransportUser::disconnectTransport. Disconnecting, SipTransportType=%d, TransportID=%d, %s.\n",
             type, transportId, detail.c_str());
    if (!transport->disconnect(connectionId)) {
        logPrint(MIN, "SipTransportUser::disconnectTransport. Failed disconnect, SipTransportType=%d, TransportID=%d, %s.\n",
                 type, transportId, detail.c_str());
        return false;
    }
    logPrint(DBG, "SipTransportUser::disconnectTransport. Succeeded disconnect, SipTransportType=%d, TransportID=%d, %s.\n",
             type, transportId, detail.c_str());
    return true;
}

void SipTransportUser::stopAppConnControlTimer(int type, int transportId, int connectionId) {
    const std::string detail = "ConnectionID=" + std::to_string(connectionId);
    SipConnectionTransport* transport = connectionTransport("stopAppConnControlTimer", type, transportId, detail);
    if (transport == nullptr) return;
    logPrint(DBG,
             "SipTransportUser::stopAppConnControlTimer. Stopping application connection control timer, "
             "SipTransportType=%d, TransportID=%d, %s.\n",
             type, transportId, detail.c_str());
    transport->stopAppConnControlTimer(connectionId);
    logPrint(DBG, "SipTransportUser::stopAppConnControlTimer. Done stopAppConnControlTimer, SipTransportType=%d, TransportID=%d, %s.\n",
             type, transportId, detail.c_str());
}

void SipTransportUser::clearTransports() {
    {
        ScopedLock<kel_util::Mutex> guard(udpMutex_);
        udpTransports_.clear();
        defaultUDP_ = nullptr;
    }
    ScopedLock<kel_util::Mutex> guard(tcpMutex_);
    tcpTransports_.clear();
    defaultTCP_ = nullptr;
}

}  // namespace kel_sip
