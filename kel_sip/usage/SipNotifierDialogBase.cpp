#include "kel_sip/usage/SipNotifierDialogBase.h"

#include <algorithm>
#include <chrono>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIntField.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipDialog.h"
#include "kel_sip/usage/SubscriptionHeaders.h"
#include "kel_util/HeaderField.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;

bool SipNotifierControllerBase::respondSubscribe(int id, const SubscribeAnswer& answer) {
    return withNotifierDialog(id, [&](SipNotifierDialogBase& dialog) { return dialog.sendSubscribeResponse(answer); });
}

bool SipNotifierControllerBase::notify(int id, const NotifyContent& content) {
    return withNotifierDialog(id, [&](SipNotifierDialogBase& dialog) { return dialog.sendNotify(content); });
}

void SipNotifierControllerBase::onSipNotifierEvent(int event, SipNotifierDialogBase& dialog, const SipMessageExt*) {
    logPrint(kel_util::DET, "SipNotifierControllerBase::onSipNotifierEvent. %s, id=%d.\n", notifierEventString(event),
             dialog.notifierDialog().getId());
}

SipNotifierDialogBase::~SipNotifierDialogBase() = default;

void SipNotifierDialogBase::clean() {
    if (!notifier_) return;
    stopTimer();
    notifier_.reset();
}

bool SipNotifierDialogBase::dropIdleNotifier() {
    if (notifier_ && notifier_->state == kNotifierIdle) clean();
    return !notifier_;
}

int SipNotifierDialogBase::dialogId() const { return notifierDialog().getId(); }

void SipNotifierDialogBase::report(int event, const SipMessageExt* message) {
    logPrint(DBG, "SipNotifier::report. Event=[%s](%d), SipNotifierState=[%s], id=%d.\n", notifierEventString(event),
             event, notifier_ ? notifier_->stateString() : "Idle", dialogId());
    controller_.onSipNotifierEvent(event, *this, message);
}

void SipNotifierDialogBase::stopTimer() {
    if (!notifier_->expireTimer) return;
    notifierDialog().stopTimer(kTimerNotifierExpire);
    notifier_->expireTimer = false;
}

bool SipNotifierDialogBase::refuse(const SipMessageExt& request, int serverTransactionId, int statusCode,
                                   const char* reasonPhrase) {
    logPrint(MIN, "SipNotifier::onReceiveRequest. Refused, StatusCode=%d, ServerTransactionID=%d, id=%d.\n",
             statusCode, serverTransactionId, dialogId());
    HeaderList headers;
    if (statusCode == 423) headers.addHeader(SipHeader::MinExpires, std::to_string(controller_.getMinExpires()));
    SipDialog& dialog = notifierDialog();
    return dialog.sendResponseFromRequest(request, statusCode, reasonPhrase, ResponseContent{{}, {}, &headers},
                                          dialog.dialogId().localTag.c_str());
}

int SipNotifierDialogBase::check(const SubscriptionHeaders& headers, bool isRefer, std::int64_t& expires) {
    const SipNotifier* n = notifier_.get();
    const bool hasEvent = headers.eventPresence == HeaderPresence::Present;
    if (n != nullptr && n->state == kNotifierConfirmed) {
        // A refresh names the subscription it refreshes (RFC 3265 section 3.1.4.2).
        if (!hasEvent || !kel_util::equalsIgnoreCase(headers.event.getPackage(), n->event.getPackage()) ||
            (!n->event.getId().empty() && headers.event.getId() != n->event.getId()))
            return 489;
    } else if (!hasEvent && !isRefer) {
        return 489;
    }
    expires = headers.expiresPresence == HeaderPresence::Present ? headers.expires : controller_.getDefaultExpires();
    if (headers.expiresPresence == HeaderPresence::Present && expires != 0) {
        if (controller_.getAlwaysDefaultExpires()) expires = controller_.getDefaultExpires();
        const std::int64_t minimum = controller_.getMinExpires();
        if (minimum > 0 && expires >= 0 && expires < minimum) return 423;
    }
    return 0;
}

bool SipNotifierDialogBase::onNotifierRequest(SipMessageExt& request, int serverTransactionId) {
    const bool isRefer = request.methodKind == SipMethod::Refer;
    const int state = notifier_ ? notifier_->state : kNotifierIdle;
    if (state != kNotifierIdle && (state != kNotifierConfirmed || notifier_->referMode || isRefer)) {
        logPrint(MIN, "SipNotifier::onReceiveRequest. Invalid SipNotifierState=[%s], id=%d.\n",
                 notifier_->stateString(), dialogId());
        return refuse(request, serverTransactionId, 491, nullptr);
    }
    // Every check comes before any change, so that a refused request leaves the subscription
    // as it was.
    const SubscriptionHeaders headers(request);
    if (const char* reason = headers.invalidReason()) return refuse(request, serverTransactionId, 400, reason);
    std::int64_t expires = -1;
    if (const int status = check(headers, isRefer, expires)) return refuse(request, serverTransactionId, status, nullptr);
    auto data = std::make_unique<SubscribedData>();
    static_cast<SipDialogInfo&>(*data) = notifierDialog().info();
    if (!data->takeRequest(request)) return refuse(request, serverTransactionId, 400, "Invalid Contact header");
    data->vias = request.vias;
    data->cseq = request.cseq;
    data->expiresAsked = expires;

    if (!notifier_) {
        notifier_ = std::make_unique<SipNotifier>();
        notifier_->referMode = isRefer;
    }
    SipNotifier& n = *notifier_;
    if (state == kNotifierIdle) n.event = headers.eventPresence == HeaderPresence::Present ? headers.event : SipEvent("refer");
    n.data = std::move(data);
    n.state = state == kNotifierConfirmed ? kNotifierReSubscribed : kNotifierSubscribed;
    const int event = isRefer                         ? kReferred
                      : expires == 0                  ? kUnSubscribed
                      : state == kNotifierConfirmed   ? kReSubscribed
                                                      : kSubscribed;
    report(event, &request);
    return true;
}

bool SipNotifierDialogBase::sendSubscribeResponse(const SubscribeAnswer& answer) {
    SipNotifier* n = notifier_.get();
    if (n == nullptr || (n->state != kNotifierSubscribed && n->state != kNotifierReSubscribed) || !n->data) {
        logPrint(MIN, "SipNotifier::sendSubscribeResponse. Invalid SipNotifierState=[%s], id=%d.\n",
                 n != nullptr ? n->stateString() : "Idle", dialogId());
        return false;
    }
    if (answer.statusCode < 200 || answer.statusCode > 699) {
        logPrint(MIN, "SipNotifier::sendSubscribeResponse. Invalid StatusCode=%d, id=%d.\n", answer.statusCode,
                 dialogId());
        return false;
    }
    return answer.statusCode >= 300 ? sendErrorResponse(answer) : sendSuccessResponse(answer);
}

bool SipNotifierDialogBase::sendErrorResponse(const SubscribeAnswer& answer) {
    SipNotifier& n = *notifier_;
    SipDialog& dialog = notifierDialog();
    std::unique_ptr<SipMessageExt> response = dialog.createResponse(
        n.data->vias, n.data->cseq.getMethodName(), n.data->cseq.getNumber(), answer.statusCode, answer.reasonPhrase);
    if (answer.contact != nullptr) {
        response->removeHeader(SipHeader::Contact);
        SipContact contact;
        contact.address = *answer.contact;
        response->addTypedHeader(SipHeader::Contact, contact);
    }
    if (answer.headers != nullptr) response->addHeaders(*answer.headers);
    if (!dialog.sendResponse(*response)) return false;
    n.state = n.state == kNotifierReSubscribed ? kNotifierConfirmed : kNotifierIdle;
    report(n.referMode ? kSentReferErrorResponse : kSentSubscribeErrorResponse, response.get());
    return true;
}

bool SipNotifierDialogBase::sendSuccessResponse(const SubscribeAnswer& answer) {
    SipNotifier& n = *notifier_;
    SipDialog& dialog = notifierDialog();
    if (n.state == kNotifierReSubscribed) stopTimer();
    SubscribedData& data = *n.data;
    if (answer.contact != nullptr) data.localContact = *answer.contact;
    const std::int64_t expires = answer.expires >= 0      ? answer.expires
                                 : data.expiresAsked >= 0 ? data.expiresAsked
                                                          : controller_.getDefaultExpires();
    // A refresh may move the remote target only (RFC 3261 section 12.2.2); the first answer
    // sets the dialog up from the request.
    if (dialog.getState() == kDialogConfirmed) {
        dialog.info().remoteTarget = data.remoteTarget;
        dialog.info().localContact = data.localContact;
    } else {
        dialog.adoptInfo(data);
    }
    std::unique_ptr<SipMessageExt> response = dialog.createResponse(
        data.vias, data.cseq.getMethodName(), data.cseq.getNumber(), answer.statusCode, answer.reasonPhrase);
    if (!n.referMode && expires > 0) response->addTypedHeader(SipHeader::Expires, SipIntField(expires));
    response->addTypedHeader(SipHeader::Event, n.event);
    if (answer.headers != nullptr) response->addHeaders(*answer.headers);
    if (!dialog.sendResponse(*response)) return false;
    dialog.setState(kDialogConfirmed);
    n.state = kNotifierConfirmed;
    n.expires = expires;
    n.userExpire = answer.userExpire;
    if (expires > 0) {
        n.acceptedAt = dialog.now();
        if (n.userExpire) n.expireTimer = dialog.startTimer(expiryMilliseconds(expires), kTimerNotifierExpire);
    }
    report(n.referMode ? kSentReferResponse : kSentSubscribeResponse, response.get());
    return true;
}

bool SipNotifierDialogBase::sendNotify(const NotifyContent& content) {
    SipNotifier* n = notifier_.get();
    if (n == nullptr || n->state != kNotifierConfirmed) {
        logPrint(MIN, "SipNotifier::sendNotify. Invalid SipNotifierState=[%s], id=%d.\n",
                 n != nullptr ? n->stateString() : "Idle", dialogId());
        return false;
    }
    SipDialog& dialog = notifierDialog();
    const int cseqNumber = dialog.info().nextLocalSeqNo();
    if (cseqNumber < 0) return false;
    std::unique_ptr<SipMessageExt> request = dialog.createRequest("NOTIFY", cseqNumber);
    request->addTypedHeader(SipHeader::Event, n->event);
    SipSubscriptionState state(content.subscriptionState);
    if (content.subscriptionState == SipSubscriptionState::Active && n->expires > 0) {
        // What is left of the grant (RFC 3265 section 3.2.2), never below 0.
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(dialog.now() - n->acceptedAt).count();
        state.setExpires(std::max<std::int64_t>(0, n->expires - elapsed));
    }
    if (content.reason != nullptr) state.setReason(content.reason);
    request->addTypedHeader(SipHeader::SubscriptionState, state);
    if (!content.body.empty()) {
        request->setBody(content.body.data(), static_cast<int>(content.body.size()));
        request->contentType = std::string(content.contentType);
    }
    if (content.headers != nullptr) request->addHeaders(*content.headers);
    if (dialog.sendRequestTo(*request, nullptr, dialog.info().isStrictRouting()) < 1) {
        logPrint(MIN, "SipNotifier::sendNotify. Failed sendRequestTo, id=%d.\n", dialogId());
        return false;
    }
    n->subscriptionState = content.subscriptionState;
    if (content.subscriptionState == SipSubscriptionState::Terminated) {
        stopTimer();
        n->state = kNotifierIdle;
    }
    report(kSentNotify, request.get());
    return true;
}

bool SipNotifierDialogBase::onNotifierResponse(const SipMessageExt& response) {
    if (!notifier_) {
        logPrint(MIN, "SipNotifier::onReceiveResponse. No notifier, StatusCode=%d, id=%d.\n", response.statusCode,
                 dialogId());
        return false;
    }
    if (response.statusCode < 200) {
        logPrint(MIN, "SipNotifier::onReceiveResponse. Invalid provisional response, StatusCode=%d, id=%d.\n",
                 response.statusCode, dialogId());
        return true;
    }
    if (response.statusCode < 300) {
        report(kNotifyConfirmed, &response);
        return true;
    }
    // The subscriber no longer wants it (RFC 3265 section 3.2.2).
    stopTimer();
    notifier_->state = kNotifierIdle;
    notifier_->subscriptionState = SipSubscriptionState::Terminated;
    report(kNotifyFailed, &response);
    return true;
}

bool SipNotifierDialogBase::onNotifierTimeout(int timerName) {
    if (timerName != kTimerNotifierExpire || !notifier_ || !notifier_->expireTimer) {
        logPrint(MIN, "SipNotifier::onTimeout. Invalid TimerName=%d, SipNotifierState=[%s], id=%d.\n", timerName,
                 notifier_ ? notifier_->stateString() : "Idle", dialogId());
        return false;
    }
    notifier_->expireTimer = false;
    NotifyContent expiry;
    expiry.subscriptionState = SipSubscriptionState::Terminated;
    expiry.reason = "timeout";
    if (!sendNotify(expiry)) notifier_->state = kNotifierIdle;
    report(kNotifyExpired, nullptr);
    return true;
}

bool SipNotifierDialogBase::onNotifierTransactionTimeout(const SipMessageExt& request) {
    report(kNotifyTransactionTimeout, &request);
    return true;
}

bool SipNotifierDialogBase::onNotifierRequestTransportError(const SipMessageExt& request) {
    report(kNotifierRequestTransportError, &request);
    return true;
}

bool SipNotifierDialogBase::onNotifierResponseTransportError(const SipMessageExt& response) {
    report(kNotifierResponseTransportError, &response);
    return true;
}

}  // namespace kel_sip
