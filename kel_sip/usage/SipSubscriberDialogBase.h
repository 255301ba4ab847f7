// The subscriber part of a dialog (RFC 3265 section 3.1, RFC 3515): sends SUBSCRIBE or REFER,
// follows the subscription through the 2xx and the NOTIFY requests, refreshes it at half its
// lifetime, ends it, and reports each step to its controller. The subscriber dialog carries
// one; the session dialog will carry one for the REFER a call sends.
//
// Threads: every operation runs under the entry lock of the dialog.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipEvent.h"
#include "kel_sip/syntax/SipReferTo.h"
#include "kel_sip/syntax/SipReferredBy.h"
#include "kel_sip/transaction/TransactionContext.h"
#include "kel_sip/usage/SipSubscriber.h"
#include "kel_sip/usage/SipSubscriberControllerBase.h"

namespace kel_sip {

class SipDialog;

// What a new subscription asks for.
struct SubscriptionOrder {
    SipEvent event;                      // the package, id and parameters (package "refer" for REFER)
    std::optional<std::string> accept;   // an Accept value for the NOTIFY bodies
    std::int64_t expires = -1;           // seconds; -1 leaves Expires out
    const HeaderList* headers = nullptr; // copied, added to each request
};

class SipSubscriberDialogBase {
public:
    explicit SipSubscriberDialogBase(SipSubscriberControllerBase& controller) : controller_(controller) {}
    virtual ~SipSubscriberDialogBase();
    SipSubscriberDialogBase(const SipSubscriberDialogBase&) = delete;
    SipSubscriberDialogBase& operator=(const SipSubscriberDialogBase&) = delete;

    // Stops the subscriber's timers and drops it.
    virtual void clean();
    // The dialog this part lives in.
    virtual SipDialog& subscriberDialog() = 0;
    virtual const SipDialog& subscriberDialog() const = 0;
    // After every event: the concrete dialog ends what has ended.
    virtual void checkState() = 0;

    // The subscriber, null when there is none.
    SipSubscriber* subscriber() noexcept { return subscriber_.get(); }
    const SipSubscriber* subscriber() const noexcept { return subscriber_.get(); }
    // A new Idle subscriber for order (in REFER mode for a REFER); false when one exists.
    bool createSubscriber(const SubscriptionOrder& order, bool referMode);
    // Drops a subscriber that is back in Idle; true when there is none left.
    bool dropIdleSubscriber();

    // SUBSCRIBE in the dialog (states Idle and Subscribed, not for REFER): Expires is expires
    // when not negative, else the stored one; 0 ends the subscription. peer, when given, is the
    // next hop; guardSeconds above 0 limits the wait for the answer.
    bool sendSubscribe(std::int64_t expires, const SipPeerAddress* peer, int guardSeconds);
    // REFER in the dialog (state Idle, REFER mode).
    bool sendRefer(const SipReferTo& referTo, const SipReferredBy* referredBy, const SipPeerAddress* peer);

    // The events of the subscription's transactions and timers; false when refused.
    bool onSubscriberResponse(SipMessageExt& response);
    // A NOTIFY: answered here (200, 400, 481), true when the answer went out.
    bool onSubscriberNotify(SipMessageExt& request, int serverTransactionId);
    bool onSubscriberTimeout(int timerName);
    bool onSubscriberTransactionTimeout(const SipMessageExt& request);
    // A request that could not be sent ends a subscription that waits for its answer.
    bool onSubscriberRequestTransportError(const SipMessageExt& request);
    bool onSubscriberResponseTransportError(const SipMessageExt& response);

private:
    // A request of method in the dialog with the next CSeq; null when the counter has run out.
    std::unique_ptr<SipMessageExt> newRequest(const char* method);
    // Adds the credentials and extra headers and sends request, keeping its transaction ID;
    // false (logged for operation) when it could not be sent.
    bool send(SipMessageExt& request, const SipPeerAddress* peer, const char* operation);
    void report(int event, const SipMessageExt* message);
    void startTimer(int timerName, int milliseconds, bool& running);
    void stopTimer(int timerName, bool& running);
    void stopTimers();
    // Back to Idle with every timer stopped.
    void end();
    void onFinalFailure(const SipMessageExt& response);
    void onSuccess(SipMessageExt& response);
    // Answers request on its transaction in the dialog; true when it went out.
    bool answer(const SipMessageExt& request, int serverTransactionId, int statusCode, const char* reasonPhrase);
    int dialogId() const;

    SipSubscriberControllerBase& controller_;
    std::unique_ptr<SipSubscriber> subscriber_;
};

}  // namespace kel_sip
