// The base of the two client machines (RFC 3261 section 17.1): the request it sends and
// retransmits, and the matching of responses to it.
#pragma once

#include <string>

#include "kel_sip/transaction/ClientTransactionID.h"
#include "kel_sip/transaction/SipTransaction.h"

namespace kel_sip {

class ClientTransaction : public SipTransaction {
public:
    using SipTransaction::SipTransaction;

    const std::string& key() const override { return match_.key(); }
    // False without a Via or with a branch of seven characters or fewer.
    bool setRequest(const SipMessageExt& request) override;
    // RFC 3261 section 17.1.3.
    bool isResponseMatching(const SipMessage& response) const;

    // Sends a copy of request, which the caller keeps, and starts the machine; userId comes
    // back with every notification. False when the send fails or a timer cannot be started.
    virtual bool onSendRequest(const SipMessageExt& request, int userId) = 0;
    virtual bool onReceiveResponse(SipMessageSlot& response) = 0;
    // A response whose header part was too long to be read whole: treated as a response, but
    // never acknowledged, since its To tag may be missing.
    virtual bool onHeaderLengthError(SipMessageSlot& response) = 0;

    // The request sent (after a failure response to an INVITE, its ACK); null once handed to
    // the user with a timeout or a transport error.
    const SipMessageExt* getStoredRequest() const { return storedRequest_.get(); }

protected:
    // The first input of both machines (refused once started): keeps a copy of request and sends it, stores userId,
    // starts the timeout timer (64*T1) and, on unreliable transports, the retransmission timer
    // at T1, and moves to state. False when the send fails or a timer cannot be started.
    bool start(const SipMessageExt& request, int userId, int timeoutTimer, int retransmitTimer, int state);
    bool resendStoredRequest() { return sendRequestByTransport(*storedRequest_); }
    // Tells the user that the transaction timed out (type 30), handing over the stored request.
    bool endWithTimeout();
    SipMessageSlot& keptMessage() override { return storedRequest_; }
    int transportErrorType() const override { return SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR; }

    SipMessageSlot storedRequest_;

private:
    ClientTransactionID match_;
};

}  // namespace kel_sip
