// The dialog of one call: it carries the call's SipSession and, for transfers (RFC 3515), a
// subscriber part for the REFER this side sends and a notifier part for a REFER received.
// Requests, responses, time-outs and timers of the dialog go to the part they belong to;
// the dialog ends (state Idle, to be removed by its controller) when no part is left.
//
// Threads: touched only while its SipDialogList entry is locked.
#pragma once

#include <functional>
#include <memory>

#include "kel_sip/usage/SipDialog.h"
#include "kel_sip/usage/SipNotifierDialogBase.h"
#include "kel_sip/usage/SipSession.h"
#include "kel_sip/usage/SipSubscriberDialogBase.h"

namespace kel_sip {

class SipSessionController;

class SipSessionDialog : public SipDialog, public SipSubscriberDialogBase, public SipNotifierDialogBase {
public:
    // Both must outlive the dialog.
    SipSessionDialog(SipSessionController& controller, SipTransactionController& transactions);
    ~SipSessionDialog() override;

    void clean() override;
    SipDialog& subscriberDialog() override { return *this; }
    const SipDialog& subscriberDialog() const override { return *this; }
    SipDialog& notifierDialog() override { return *this; }
    const SipDialog& notifierDialog() const override { return *this; }
    // Drops each part back in its idle state; Idle when none is left.
    void checkState() override;

    SipSessionController& controller() noexcept { return controller_; }
    // The session, null when there is none.
    SipSession* session() noexcept { return session_.get(); }
    // A new Idle session; the existing one when there is one.
    SipSession& createSession();

    bool onTimeout(int timerName) override;
    bool onReceiveRequest(SipMessageSlot& request, int serverTransactionId) override;
    bool onReceiveResponse(SipMessageSlot& response) override;
    bool onClientTransactionTimeout(SipMessageSlot& request) override;
    bool onRequestTransportError(SipMessageSlot& request) override;
    bool onResponseTransportError(SipMessageSlot& response) override;

    enum class Part { Session, Subscriber, Notifier };

private:
    // Hands message to its part, then ends what has ended.
    bool route(Part part, const SipMessageExt& message, const char* operation,
               const std::function<bool()>& toSubscriber, const std::function<bool()>& toNotifier, const std::function<bool(SipSession&)>& toSession);
    // The session for a message of method, logging when there is none.
    SipSession* sessionFor(const SipMessageExt& message, const char* operation);

    SipSessionController& controller_;
    std::unique_ptr<SipSession> session_;
};

}  // namespace kel_sip
