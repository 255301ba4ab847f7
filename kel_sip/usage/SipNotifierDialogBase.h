// The notifier part of a dialog (RFC 3265 section 3.2, RFC 3515): takes a SUBSCRIBE or REFER
// (refusing a wrong package with 489 and too short an expiry with 423), lets the user agent
// answer it, sends NOTIFY with the expires that remain, and ends the subscription when its
// grant runs out if asked to. The session dialog will carry one for a REFER or SUBSCRIBE it
// receives.
//
// Threads: every operation runs under the entry lock of the dialog.
#pragma once

#include <memory>

#include "kel_sip/usage/SipNotifier.h"
#include "kel_sip/usage/SipNotifierControllerBase.h"

namespace kel_sip {

class SipDialog;
struct SubscriptionHeaders;

class SipNotifierDialogBase {
public:
    explicit SipNotifierDialogBase(SipNotifierControllerBase& controller) : controller_(controller) {}
    virtual ~SipNotifierDialogBase();
    SipNotifierDialogBase(const SipNotifierDialogBase&) = delete;
    SipNotifierDialogBase& operator=(const SipNotifierDialogBase&) = delete;

    // Stops the notifier's timer and drops it.
    virtual void clean();
    virtual SipDialog& notifierDialog() = 0;
    virtual const SipDialog& notifierDialog() const = 0;
    // After every event: the concrete dialog ends what has ended.
    virtual void checkState() = 0;

    SipNotifier* notifier() noexcept { return notifier_.get(); }
    const SipNotifier* notifier() const noexcept { return notifier_.get(); }
    // Drops a notifier that is back in Idle; true when there is none left.
    bool dropIdleNotifier();

    // A SUBSCRIBE or REFER for this dialog: refused here (400, 423, 489, 491), or kept for the
    // user agent to answer with sendSubscribeResponse. True when it was answered or kept.
    bool onNotifierRequest(SipMessageExt& request, int serverTransactionId);
    bool sendSubscribeResponse(const SubscribeAnswer& answer);
    bool sendNotify(const NotifyContent& content);

    bool onNotifierResponse(const SipMessageExt& response);
    bool onNotifierTimeout(int timerName);
    bool onNotifierTransactionTimeout(const SipMessageExt& request);
    bool onNotifierRequestTransportError(const SipMessageExt& request);
    bool onNotifierResponseTransportError(const SipMessageExt& response);

private:
    void report(int event, const SipMessageExt* message);
    // The status that refuses request, 0 when the notifier takes it (event stored in state 0).
    int check(const SubscriptionHeaders& headers, bool isRefer, std::int64_t& expires);
    bool refuse(const SipMessageExt& request, int serverTransactionId, int statusCode, const char* reasonPhrase);
    bool sendErrorResponse(const SubscribeAnswer& answer);
    bool sendSuccessResponse(const SubscribeAnswer& answer);
    void stopTimer();
    int dialogId() const;

    SipNotifierControllerBase& controller_;
    std::unique_ptr<SipNotifier> notifier_;
};

}  // namespace kel_sip
