// The non-INVITE server transaction (RFC 3261 section 17.2.2): Trying, Proceeding, Completed.
//
// Retransmitted requests are absorbed in Trying and answered with the last response after
// that. Over UDP a final response keeps the transaction until Timer J (64*T1); on reliable
// transports the final response ends it.
#pragma once

#include "kel_sip/transaction/ServerTransaction.h"

namespace kel_sip {

class NonINVITEServerTransaction : public ServerTransaction {
public:
    using ServerTransaction::ServerTransaction;

    bool onReceiveRequest(SipMessageSlot& request) override;
    // In Trying or Proceeding; notifyFailureAck has no meaning here.
    bool onSendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) override;
    // Proceeding or Completed: the user is told (type 33) and the transaction ends.
    bool onTransportError(SipMessageSlot& message) override;

protected:
    const char* className() const override { return "NonINVITEServerTransaction"; }
    bool onRunningTimer(int timer) override;
};

}  // namespace kel_sip
