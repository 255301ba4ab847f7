// The INVITE client transaction (RFC 3261 section 17.1.1): Calling, Proceeding, Completed.
//
// Over UDP the INVITE is resent by Timer A at T1, 2*T1, 4*T1 ... until a response or Timer B
// (64*T1). A 1xx stops both; a 2xx ends the transaction at once (its ACK is the user's); a
// 300-699 is acknowledged here, and over UDP each retransmission of it is acknowledged again
// until Timer D (TD). On reliable transports there is no Timer A and no wait in Completed.
#pragma once

#include "kel_sip/transaction/ClientTransaction.h"

namespace kel_sip {

class INVITEClientTransaction : public ClientTransaction {
public:
    using ClientTransaction::ClientTransaction;

    bool onSendRequest(const SipMessageExt& request, int userId) override;
    bool onReceiveResponse(SipMessageSlot& response) override;
    bool onHeaderLengthError(SipMessageSlot& response) override;
    // Calling, Proceeding or Completed: the user is told (type 32) and the transaction ends.
    bool onTransportError(SipMessageSlot& message) override;

protected:
    const char* className() const override { return "INVITEClientTransaction"; }
    bool onRunningTimer(int timer) override;

private:
    bool onResponse(SipMessageSlot& response, bool acknowledge);
    bool onFailureResponse(SipMessageSlot& response, bool acknowledge);
    bool onFailureRetransmission(const SipMessageExt& response, bool acknowledge);
    // Turns the stored INVITE into the ACK of response (RFC 3261 section 17.1.1.3).
    void makeAck(const SipMessageExt& response);
    bool hasAck() const;
};

}  // namespace kel_sip
