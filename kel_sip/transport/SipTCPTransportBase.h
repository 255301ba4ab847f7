// SIP over TCP (RFC 3261 section 18): the connection handler reads whole messages from the
// connections and posts each one to this transport's workers, which run the receive path
// shared with UDP. A request is sent on the connection its connection ID names, else on one
// found for its destination (by alias, then by peer address), else on a new one; a response
// on its request's connection, else on one to the request's source, else on one to the
// address its top Via names (RFC 3261 section 18.2.2), connecting when there is none.
//
// Received messages reach the transaction controller one at a time, in the order each
// connection delivered them.
//
// Threads: the owner calls the setters, init and clean; sendRequest, sendResponse, connect,
// disconnect and stopAppConnControlTimer may be called from any thread. No lock is held while
// the send filter runs or while connecting.
#pragma once

#include <sys/socket.h>

#include <atomic>

#include "kel_sip/transport/SipConnectionHandler.h"
#include "kel_sip/transport/SipConnectionTransport.h"
#include "kel_util/EventHandlerExt.h"

namespace kel_sip {

class SipTCPTransportBase : public SipConnectionTransport, public kel_util::EventHandlerExt {
public:
    // factory makes the connection objects (the framing) of accepted and connected sockets.
    SipTCPTransportBase(SipTransportReceiver& receiver, int transportId, SipConnectionHandler::ConnectionFactory factory);
    ~SipTCPTransportBase() override;

    // Starts workerCount workers of its own and the handler's handlerWorkerCount, listening on
    // port of bindAddress (null: the wildcard address of family). The sent-by port is the port
    // bound (the one the system chose for 0). False, logged, with everything stopped, on failure.
    bool init(int workerCount, int handlerWorkerCount, const char* sentByHost, int port, const char* bindAddress,
              int family, bool tolerateBindFailure);
    void clean() override;

    bool sendRequest(SipMessageExt& message, int transactionId) override;
    bool sendResponse(SipMessageExt& message, int transactionId) override;
    int getTransportType() const override;
    int getLocalAddressFamily() const override;

    int connect(const kel_util::SocketAddress& address, std::chrono::milliseconds timeout) override;
    bool disconnect(int connectionId) override;
    void stopAppConnControlTimer(int connectionId) override;

    // SetViaAlias: requests carry the alias parameter in their top Via (RFC 5923).
    void setViaAlias(bool on) noexcept { viaAlias_ = on; }
    bool getViaAlias() const noexcept { return viaAlias_; }
    // SetSetViaConnectionSrcPort: the sent-by port of a request is its connection's local port.
    void setViaConnectionSrcPort(bool on) noexcept { viaConnectionSrcPort_ = on; }
    bool getViaConnectionSrcPort() const noexcept { return viaConnectionSrcPort_; }
    SipConnectionHandler& getHandler() noexcept { return handler_; }

protected:
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;

private:
    // A message the handler read from connection connectionId.
    bool receiveFromConnection(std::unique_ptr<SipMessageExt> message, int connectionId);
    // The address later requests to this request's sender reuse its connection by: the
    // connection's source address with the Via sent-by port (5060 when absent). The source
    // address, not the Via's host or received parameter, so that no peer can take over the
    // traffic meant for another host.
    bool aliasAddress(const SipMessageExt& request, kel_util::SocketAddress& alias) const;

    // The connection for a message about to be sent: 0 or more, or -1, logged, when there is
    // none and none could be made.
    int requestConnection(SipMessageExt& message, int transactionId);
    int responseConnection(SipMessageExt& message, int transactionId);
    // The listed connection with the message's connection ID, or 0.
    int connectionById(const SipMessageExt& message, const char* operation);
    // A listed connection to the message's peer, or a new one; -1 when it cannot be made.
    int connectionToPeer(const SipMessageExt& message, const char* operation);
    // Sends on the connection: the peer becomes the connection's, a request's top Via is
    // completed, then the send filter and the write.
    bool sendOn(int connectionId, SipMessageExt& message, int transactionId, bool request);
    bool resolve(const SipPeerAddress& peer, kel_util::SocketAddress& address) const;

    std::atomic<bool> viaAlias_{false};
    std::atomic<bool> viaConnectionSrcPort_{false};
    std::atomic<int> family_{AF_INET};  // of the listen address, set by init
    SipConnectionHandler handler_;
};

}  // namespace kel_sip
