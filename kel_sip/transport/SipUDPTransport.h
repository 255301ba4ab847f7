// SIP over UDP (RFC 3261 section 18): the UDP listener thread reads each datagram, parses it
// and runs the shared receive path to the end, the transaction controller's part included, so
// that a received message costs no hand-off until it reaches its transaction user. Datagrams
// that arrive meanwhile wait in the socket's buffer, which is made large enough for bursts.
// Requests and responses are sent on the listener's socket without waiting for it.
//
// Threads: the owner calls open and close; sendRequest and sendResponse may be called from any
// thread (sends are serialised on the listener's socket lock).
#pragma once

#include <cstdint>
#include <string>

#include "kel_sip/transport/SipTransportBase.h"
#include "kel_util/DatagramReceiver.h"
#include "kel_util/UDPPortListener.h"

namespace kel_sip {

class SipUDPTransport : public SipTransportBase, public kel_util::DatagramReceiver {
public:
    // The socket's receive buffer: a burst of a few thousand requests waits there while the
    // listener works on one.
    static constexpr int kSocketBufferSize = 1 << 20;

    SipUDPTransport(SipTransportReceiver& receiver, int transportId);
    // Closes a transport its owner did not close.
    ~SipUDPTransport() override;

    // Sets the sent-by values and opens the listener on port. bindAddress null binds the
    // wildcard address of family (AF_UNSPEC for either). With tolerateBindFailure a port that
    // cannot be bound yet is retried by the listener. False, logged, on failure.
    bool open(const char* sentByHost, int port, const char* bindAddress, int family, bool tolerateBindFailure);
    // Stops the listener; no message is received after it returns.
    void close();

    bool sendRequest(SipMessageExt& message, int transactionId) override;
    bool sendResponse(SipMessageExt& message, int transactionId) override;
    int getTransportType() const override;
    int getLocalAddressFamily() const override;

    // The address the listener is bound to (port 0 asks the system for one); throws
    // SocketException NOT_OPENED while the socket is closed.
    kel_util::SocketAddress getLocalAddress();

    // On the listener's thread: parses one datagram and runs the receive path; a request that
    // does not parse is answered 400 (never an ACK), anything else that does not parse is
    // dropped.
    void onDatagram(const char* data, int length, const kel_util::SocketAddress& from,
                    kel_util::UDPSenderBase& listener) override;

private:
    bool procReceiveUDP(const char* data, int length, const kel_util::SocketAddress& from);
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
