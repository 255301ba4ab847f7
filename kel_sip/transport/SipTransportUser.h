// The registry of transports that the transaction controller derives from: it picks the
// transport for each message it sends and forwards connection controls to the TCP transport.
// Transports are registered by ID, one map per kind; the last one added of a kind is that
// kind's default. The registry does not own the transports; they must outlive it or be
// registered no longer used (the user agent cleans the controller before the transports).
//
// Threads: every operation may be called from any thread; each map has its own mutex, held
// only to look a transport up, never while sending.
#pragma once

#include <chrono>
#include <map>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/transport/SipConnectionTransport.h"
#include "kel_sip/transport/SipTransportBase.h"
#include "kel_util/Mutex.h"
#include "kel_util/SocketAddress.h"

namespace kel_sip {

class SipTransportUser {
public:
    SipTransportUser() = default;
    virtual ~SipTransportUser() = default;
    SipTransportUser(const SipTransportUser&) = delete;
    SipTransportUser& operator=(const SipTransportUser&) = delete;

    // Register a transport under its ID and make it the default of its kind. False for a null
    // transport, a negative ID, or an ID already registered for that kind.
    bool addUDPTransport(SipTransportBase* transport);
    bool addTCPTransport(SipConnectionTransport* transport);
    // Forgets every transport and both defaults, so that nothing is sent through a transport
    // after its owner has cleaned the registry (the transaction controller's clean).
    void clearTransports();

    // The transport for a message: the kind is message.transportType, or when that is -1 the
    // transport named by its top Via. TCP looks in the TCP map, TLS and SCTP find nothing, any
    // other kind in the UDP map, by message.transportId; when that ID is not registered the
    // default of the kind is taken. The transport's type and ID are written into the message.
    // Null when there is none.
    SipTransportBase* getTransport(SipMessageExt& message);

    // getTransport, then its sendRequest / sendResponse. False (logged) when there is no
    // transport or the send failed; never throws.
    bool sendRequestByTransport(SipMessageExt& message, int transactionId);
    bool sendResponseByTransport(SipMessageExt& message, int transactionId);

    // Connection controls for connection transports; only types kTransportTCP and kTransportTLS
    // are valid, and they go to the TCP transport with that ID. connectTransport gives the new
    // connection's ID or -1.
    int connectTransport(int type, int transportId, const kel_util::SocketAddress& address,
                         std::chrono::milliseconds timeout);
    bool disconnectTransport(int type, int transportId, int connectionId);
    void stopAppConnControlTimer(int type, int transportId, int connectionId);

private:
    bool sendByTransport(SipMessageExt& message, int transactionId, bool request);
    // The TCP transport of a connection control, or null after logging why (operation names
    // the caller, detail the rest of its log line).
    SipConnectionTransport* connectionTransport(const char* operation, int type, int transportId,
                                                const std::string& detail);

    kel_util::Mutex udpMutex_;
    std::map<int, SipTransportBase*> udpTransports_;  // guarded by udpMutex_
    SipTransportBase* defaultUDP_ = nullptr;          // guarded by udpMutex_

    kel_util::Mutex tcpMutex_;
    std::map<int, SipConnectionTransport*> tcpTransports_;  // guarded by tcpMutex_
    SipConnectionTransport* defaultTCP_ = nullptr;          // guarded by tcpMutex_
};

}  // namespace kel_sip
