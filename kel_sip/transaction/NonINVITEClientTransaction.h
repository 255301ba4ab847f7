// The non-INVITE client transaction (RFC 3261 section 17.1.2): Trying, Proceeding, Completed.
//
// Over UDP the request is resent by Timer E at T1, 2*T1, 4*T1 ... capped at T2, and every T2
// once a provisional response has come, until a final response or Timer F (64*T1). Over UDP
// the transaction then absorbs retransmitted responses until Timer K (T4); on reliable
// transports it ends with the final response.
#pragma once

#include "kel_sip/transaction/ClientTransaction.h"

namespace kel_sip {

class NonINVITEClientTransaction : public ClientTransaction {
public:
    using ClientTransaction::ClientTransaction;

    bool onSendRequest(const SipMessageExt& request, int userId) override;
    bool onReceiveResponse(SipMessageSlot& response) override;
    // The same as onReceiveResponse: a non-INVITE response is never acknowledged.
    bool onHeaderLengthError(SipMessageSlot& response) override;
    // Trying or Proceeding: the user is told (type 32) and the transaction ends.
    bool onTransportError(SipMessageSlot& message) override;

protected:
    const char* className() const override { return "NonINVITEClientTransaction"; }
    bool onRunningTimer(int timer) override;

private:
    bool isWaitingForFinal() const { return state_ == kStateTrying || state_ == kStateProceeding; }
};

}  // namespace kel_sip
