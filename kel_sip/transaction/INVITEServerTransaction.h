// The INVITE server transaction (RFC 3261 section 17.2.1): Proceeding, Completed, Confirmed.
//
// It answers the INVITE with 100 Trying at once and resends its last provisional response on
// each retransmitted INVITE. A 2xx from the user ends it (the user retransmits the 2xx). A
// 300-699 is resent over UDP by Timer G (T1 doubled up to T2) until the ACK or Timer H
// (64*T1); after the ACK it absorbs ACK retransmissions until Timer I (T4, zero on reliable
// transports).
#pragma once

#include "kel_sip/transaction/ServerTransaction.h"

namespace kel_sip {

class INVITEServerTransaction : public ServerTransaction {
public:
    using ServerTransaction::ServerTransaction;

    // An INVITE matches with its To tag; an ACK without it, and only in Completed or
    // Confirmed; other methods never (a CANCEL has its own transaction).
    bool isRequestMatching(const SipMessage& request) const override;
    // In Proceeding only, by the matching data without To tag and without method.
    bool isCancelMatching(const SipMessage& request) const override;

    // The first INVITE is answered 100 Trying (false when that cannot be sent) and goes to
    // the user; a retransmitted INVITE gets the last response again; the ACK of a failure
    // response confirms the transaction and goes to the user when notifyFailureAck was set.
    bool onReceiveRequest(SipMessageSlot& request) override;
    // In Proceeding only.
    bool onSendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) override;
    // Proceeding or Completed: the user is told (type 33) and the transaction ends.
    bool onTransportError(SipMessageSlot& message) override;

    bool getNotifyFailureAck() const { return notifyFailureAck_; }

protected:
    const char* className() const override { return "INVITEServerTransaction"; }
    bool onRunningTimer(int timer) override;

private:
    bool onFirstInvite(SipMessageSlot& request);
    bool onAck(SipMessageSlot& ack);
    bool onFailureResponseSent();

    bool notifyFailureAck_ = false;
};

}  // namespace kel_sip
