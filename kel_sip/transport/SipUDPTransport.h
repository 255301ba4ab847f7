// SIP over UDP (RFC 3261 section 18): a UDP listener thread receives datagrams and posts them
// to this transport's workers, which parse them in parallel (no locked dispatch) and run the
// shared receive path; requests and responses are sent on the listener's socket without
// waiting for it.
//
// Threads: the owner calls init, open, close and clean; sendRequest and sendResponse may be
// called from any thread (sends are serialised on the listener's socket lock).
#pragma once

#include <cstdint>
#include <string>

#include "kel_sip/transport/SipTransportBase.h"
#include "kel_util/Datagram.h"
#include "kel_util/EventHandler.h"
#include "kel_util/UDPPortListener.h"

namespace kel_sip {

class SipUDPTransport : public SipTransportBase, public kel_util::EventHandler {
public:
    SipUDPTransport(SipTransportReceiver& receiver, int transportId);
    // Cleans a transport its owner did not clean.
    ~SipUDPTransport() override;

    // Starts workerCount workers, then opens the listener. bindAddress null binds the wildcard
    // address of family (AF_UNSPEC for either). With tolerateBindFailure a port that cannot be
    // bound yet is retried by the listener. False (everything undone) on failure.
    bool init(int workerCount, const char* sentByHost, int port, const char* bindAddress, int family,
              bool tolerateBindFailure);
    // Sets the sent-by values and opens the listener on port; false, logged, on failure.
    bool open(const char* sentByHost, int port, const char* bindAddress, int family, bool tolerateBindFailure);
    // Stops the listener.
    void close();
    // close, then stops the workers, freeing the datagrams still queued.
    void clean() override;

    bool sendRequest(SipMessageExt& message, int transactionId) override;
    bool sendResponse(SipMessageExt& message, int transactionId) override;
    int getTransportType() const override;
    int getLocalAddressFamily() const override;

    // The address the listener is bound to (port 0 asks the system for one); throws
    // SocketException NOT_OPENED while the socket is closed.
    kel_util::SocketAddress getLocalAddress();

protected:
    bool startProc(int workerId) override;
    void endProc(int workerId) override;
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;

private:
    // Parses one datagram and runs the receive path; a request that does not parse is
    // answered 400 (never an ACK), anything else that does not parse is dropped.
    bool procReceiveUDP(const kel_util::Datagram& datagram);
    // The part of sendRequest and sendResponse after the Via check: the peer, the request's
    // top Via, the send filter and the write.
    bool send(SipMessageExt& message, int transactionId, bool request);
    // After binding port 0: the sent-by port becomes the port the system chose.
    void adoptBoundPort();
    // Prints the message and writes it to its peer without waiting.
    bool sendMessage(SipMessageExt& message, int transactionId);

    kel_util::UDPPortListener listener_;
};

}  // namespace kel_sip
