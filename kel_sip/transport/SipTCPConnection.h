// A SIP connection over TCP (RFC 3261 section 18.3): messages are framed by their
// Content-Length. Bytes are taken from the socket only as far as it holds them now, so a
// message that arrives in pieces waits, unframed, for the next poll event instead of holding
// a worker and the connection's entry lock; the idle timer of the handler, which only a whole
// message or a keep-alive restarts, bounds how long a peer may take for one message.
//
// A double CRLF where a message may start is a keep-alive ping and is answered with a single
// CRLF (RFC 5626 section 4.4.1); a single CRLF (a pong) is only counted.
//
// Threads: as SipConnection (one holder of the entry lock at a time).
#pragma once

#include <string>

#include "kel_sip/transport/SipConnection.h"

namespace kel_sip {

class SipTCPConnection : public SipConnection {
public:
    // maxContentLength: the largest Content-Length accepted; a larger one closes the connection.
    SipTCPConnection(std::unique_ptr<kel_util::Socket> socket, const kel_util::SocketAddress& peer,
                     int maxContentLength = SipMessage::DefaultStreamContentLength);

    int receive(std::unique_ptr<SipMessageExt>& message) override;
    const char* getTransportName() const override { return "TCP"; }

protected:
    bool hasBufferedBytes() const noexcept override { return !unframed_.empty() && fresh_; }

private:
    // Frames the next message out of the bytes received so far: a ReceiveResult, or
    // RECEIVE_NOTHING when they do not hold one yet.
    int frame(std::unique_ptr<SipMessageExt>& message);
    // Moves what the socket holds now into unframed_; false when nothing was waiting.
    bool readAvailable();
    int onKeepAlive();
    void onMessage(SipMessageExt& message, const std::string& raw);
    // True when the bytes waiting for their header end are more than a header may take.
    bool headerTooLong() const;

    const int maxContentLength_;
    // Received bytes not yet taken as a message; at most one header block and body plus one
    // read more.
    std::string unframed_;
    // False after unframed_ was found to hold no whole message, until more bytes arrive.
    bool fresh_ = false;
};

}  // namespace kel_sip
