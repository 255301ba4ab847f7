// The TCP transport of the user agent: SipTCPTransportBase with SipTCPConnection framing.
#pragma once

#include "kel_sip/transport/SipTCPTransportBase.h"

namespace kel_sip {

class SipTCPTransport : public SipTCPTransportBase {
public:
    SipTCPTransport(SipTransportReceiver& receiver, int transportId);
};

}  // namespace kel_sip
