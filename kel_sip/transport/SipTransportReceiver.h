// The side of the transaction controller that takes the messages a transport received. The
// transport layer only knows this interface; the controller implements it (working on a
// received message at once, on the transport's thread), and tests put a recording stand-in in
// its place.
#pragma once

#include <cstdint>
#include <memory>

#include "kel_sip/syntax/SipMessageExt.h"

namespace kel_sip {

class SipTransportBase;

class SipTransportReceiver {
public:
    virtual ~SipTransportReceiver() = default;

    // Takes one received, validated message: eventType is SIPTRANSPORT_EVMSGTYPE_RECVSIPREQUEST
    // or SIPTRANSPORT_EVMSGTYPE_RECVSIPRESPONSE (SipTransportEvent.h), param2 is 0, transport
    // is the one the message arrived on (its transportId and transportType are already set).
    // True: the receiver has taken the message (message is then null). False: the receiver
    // cannot take it now (its queue no longer accepts); message is left with the caller, which
    // answers a request with 500 itself.
    // Called on the transport's receiving threads, possibly several at once, and for a
    // transport error from inside a send; must not block for long and must not call back into
    // the transport while holding a lock the transport may need.
    virtual bool takeReceivedMessage(int eventType, std::unique_ptr<SipMessageExt>& message, intptr_t param2,
                                     SipTransportBase& transport) = 0;
};

}  // namespace kel_sip
