// A dialog that carries one subscription made outside any call (RFC 3265 section 3.1.4, RFC
// 3515 for REFER): its subscriber part handles the dialog's NOTIFY requests, the answers to
// its SUBSCRIBE and REFER and its timers. It ends when the subscriber is back in Idle.
//
// Threads: touched only while its SipDialogList entry is locked.
#pragma once

#include "kel_sip/usage/SipDialog.h"
#include "kel_sip/usage/SipSubscriberDialogBase.h"

namespace kel_sip {

class SipSubscriberDialog : public SipDialog, public SipSubscriberDialogBase {
public:
    // owner sends and times for the dialog, controller hears its subscriber's events; all
    // three must outlive it.
    SipSubscriberDialog(TransactionUserExt& owner, SipSubscriberControllerBase& controller,
                        SipTransactionController& transactions)
        : SipDialog(owner, transactions), SipSubscriberDialogBase(controller) {}

    void clean() override;
    SipDialog& subscriberDialog() override { return *this; }
    const SipDialog& subscriberDialog() const override { return *this; }
    // A subscriber back in Idle is dropped and the dialog becomes Idle, to be removed.
    void checkState() override;

    // Responses here go out only as answers to requests (sendResponseFromRequest).
    bool sendResponse(const SipMessageExt& response, bool notifyFailureAck) override;

    bool onTimeout(int timerName) override;
    bool onReceiveRequest(SipMessageSlot& request, int serverTransactionId) override;
    bool onReceiveResponse(SipMessageSlot& response) override;
    bool onClientTransactionTimeout(SipMessageSlot& request) override;
    bool onRequestTransportError(SipMessageSlot& request) override;
    bool onResponseTransportError(SipMessageSlot& response) override;
};

}  // namespace kel_sip
