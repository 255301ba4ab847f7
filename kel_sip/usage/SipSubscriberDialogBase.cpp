#include "kel_sip/usage/SipSubscriberDialogBase.h"

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

namespace {

// The 481 of a NOTIFY that names no subscription of this dialog (RFC 3265 section 3.2.4).
constexpr const char* kNoSubscription = "Subscription does not exist";

}  // namespace

void SipSubscriberControllerBase::onSipSubscriberEvent(int event, SipSubscriberDialogBase& dialog,
                                                       const SipMessageExt*) {
    logPrint(kel_util::DET, "SipSubscriberControllerBase::onSipSubscriberEvent. %s, id=%d.\n",
             subscriberEventString(event), dialog.subscriberDialog().getId());
}

SipSubscriberDialogBase::~SipSubscriberDialogBase() = default;

void SipSubscriberDialogBase::clean() {
    if (!subscriber_) return;
    stopTimers();
    subscriber_.reset();
}

int SipSubscriberDialogBase::dialogId() const { return subscriberDialog().getId(); }

bool SipSubscriberDialogBase::createSubscriber(const SubscriptionOrder& order, bool referMode) {
    if (subscriber_) {
        logPrint(MIN, "SipSubscriber::create. Invalid SipSubscriberState=[%s], id=%d.\n", subscriber_->stateString(),
                 dialogId());
        return false;
    }
    subscriber_ = std::make_unique<SipSubscriber>();
    subscriber_->event = order.event;
    if (referMode) subscriber_->event.setPackage("refer");
    subscriber_->referMode = referMode;
    subscriber_->accept = order.accept;
    subscriber_->expires = order.expires;
    if (order.headers != nullptr) subscriber_->headers = std::make_unique<HeaderList>(*order.headers);
    return true;
}

bool SipSubscriberDialogBase::dropIdleSubscriber() {
    if (subscriber_ && subscriber_->state == kSubscriberIdle) clean();
    return !subscriber_;
}

void SipSubscriberDialogBase::report(int event, const SipMessageExt* message) {
    logPrint(DBG, "SipSubscriber::report. Event=[%s](%d), SipSubscriberState=[%s], id=%d.\n",
             subscriberEventString(event), event, subscriber_ ? subscriber_->stateString() : "Idle", dialogId());
    controller_.onSipSubscriberEvent(event, *this, message);
}

void SipSubscriberDialogBase::startTimer(int timerName, int milliseconds, bool& running) {
    stopTimer(timerName, running);
    running = subscriberDialog().startTimer(milliseconds, timerName);
}

void SipSubscriberDialogBase::stopTimer(int timerName, bool& running) {
    if (!running) return;
    subscriberDialog().stopTimer(timerName);
    running = false;
}

void SipSubscriberDialogBase::stopTimers() {
    stopTimer(kTimerSubscribeExpire, subscriber_->expireTimer);
    stopTimer(kTimerSubscribeRefresh, subscriber_->refreshTimer);
    stopTimer(kTimerSubscribeGuard, subscriber_->guardTimer);
    // The linger runs only in UnSubscribed and is not flagged: a terminated NOTIFY may end
    // the subscription before it fires.
    subscriberDialog().stopTimer(kTimerUnSubscribe);
}

void SipSubscriberDialogBase::end() {
    stopTimers();
    subscriber_->state = kSubscriberIdle;
}

std::unique_ptr<SipMessageExt> SipSubscriberDialogBase::newRequest(const char* method) {
    SipDialog& dialog = subscriberDialog();
    const int cseqNumber = dialog.info().nextLocalSeqNo();
    return cseqNumber < 0 ? nullptr : dialog.createRequest(method, cseqNumber);
}

bool SipSubscriberDialogBase::send(SipMessageExt& request, const SipPeerAddress* peer, const char* operation) {
    SipDialog& dialog = subscriberDialog();
    if (dialog.credentials() != nullptr) dialog.credentials()->addCredentials(request);
    if (subscriber_->headers) request.addHeaders(*subscriber_->headers);
    const int transactionId = dialog.sendRequestTo(request, peer, dialog.info().isStrictRouting());
    if (transactionId < 1) {
        logPrint(MIN, "SipSubscriber::%s. Failed sendRequestTo, id=%d.\n", operation, dialogId());
        return false;
    }
    subscriber_->clientTransactionId = transactionId;
    return true;
}

bool SipSubscriberDialogBase::sendSubscribe(std::int64_t expires, const SipPeerAddress* peer, int guardSeconds) {
    SipSubscriber* s = subscriber_.get();
    if (s == nullptr || s->referMode || (s->state != kSubscriberIdle && s->state != kSubscriberSubscribed)) {
        logPrint(MIN, "SipSubscriber::sendSubscribe. Invalid SipSubscriberState=[%s], id=%d.\n",
                 s != nullptr ? s->stateString() : "Idle", dialogId());
        return false;
    }
    stopTimer(kTimerSubscribeRefresh, s->refreshTimer);
    std::unique_ptr<SipMessageExt> request = newRequest("SUBSCRIBE");
    if (!request) return false;
    const std::int64_t value = expires >= 0 ? expires : s->expires;
    if (value >= 0) request->addTypedHeader(SipHeader::Expires, SipIntField(value));
    if (!s->event.getPackage().empty()) request->addTypedHeader(SipHeader::Event, s->event);
    if (s->accept) request->addHeader(SipHeader::Accept, *s->accept);
    if (!send(*request, peer, "sendSubscribe")) return false;
    if (guardSeconds > 0) startTimer(kTimerSubscribeGuard, expiryMilliseconds(guardSeconds), s->guardTimer);
    if (value != 0) {
        s->expires = value;
        s->state = kSubscriberSubscribing;
        report(kSentSubscribe, request.get());
    } else {
        s->state = kSubscriberUnSubscribing;
        report(kSentUnSubscribe, request.get());
    }
    return true;
}

bool SipSubscriberDialogBase::sendRefer(const SipReferTo& referTo, const SipReferredBy* referredBy,
                                        const SipPeerAddress* peer) {
    SipSubscriber* s = subscriber_.get();
    if (s == nullptr || !s->referMode || s->state != kSubscriberIdle) {
        logPrint(MIN, "SipSubscriber::sendRefer. Invalid SipSubscriberState=[%s], id=%d.\n",
                 s != nullptr ? s->stateString() : "Idle", dialogId());
        return false;
    }
    std::unique_ptr<SipMessageExt> request = newRequest("REFER");
    if (!request) return false;
    request->addTypedHeader(SipHeader::ReferTo, referTo);
    if (referredBy != nullptr) request->addTypedHeader(SipHeader::ReferredBy, *referredBy);
    if (!send(*request, peer, "sendRefer")) return false;
    s->state = kSubscriberSubscribing;
    report(kSentRefer, request.get());
    return true;
}

bool SipSubscriberDialogBase::onSubscriberResponse(SipMessageExt& response) {
    SipSubscriber* s = subscriber_.get();
    if (s == nullptr || (s->state != kSubscriberSubscribing && s->state != kSubscriberUnSubscribing)) {
        logPrint(MIN, "SipSubscriber::onReceiveResponse. Invalid SipSubscriberState=[%s], StatusCode=%d, id=%d.\n",
                 s != nullptr ? s->stateString() : "Idle", response.statusCode, dialogId());
        return false;
    }
    if (response.statusCode < 200) {
        logPrint(DBG, "SipSubscriber::onReceiveResponse. Provisional response, StatusCode=%d, id=%d.\n",
                 response.statusCode, dialogId());
        return true;
    }
    if (response.statusCode >= 300) {
        onFinalFailure(response);
        return true;
    }
    onSuccess(response);
    return true;
}

void SipSubscriberDialogBase::onFinalFailure(const SipMessageExt& response) {
    SipSubscriber& s = *subscriber_;
    s.clientTransactionId = -1;
    if (s.referMode) {
        end();
        report(kReferFailed, &response);
        return;
    }
    stopTimer(kTimerSubscribeGuard, s.guardTimer);
    if (s.state == kSubscriberSubscribing) {
        end();
        report(kSubscribeFailed, &response);
    } else {
        s.state = kSubscriberSubscribed;
        report(kUnsubscribeFailed, &response);
    }
}

void SipSubscriberDialogBase::onSuccess(SipMessageExt& response) {
    SipSubscriber& s = *subscriber_;
    SipDialog& dialog = subscriberDialog();
    s.clientTransactionId = -1;
    // A refresh's 2xx does not change the route set (RFC 3261 section 12.2.1.2); only the first
    // one, or the one after an early NOTIFY, confirms the dialog.
    if (s.state == kSubscriberSubscribing && dialog.getState() != kDialogConfirmed) dialog.confirm(response);
    stopTimer(kTimerSubscribeGuard, s.guardTimer);
    stopTimer(kTimerSubscribeExpire, s.expireTimer);
    std::int64_t lifetime = 0;
    if (s.state != kSubscriberUnSubscribing) {
        const SubscriptionHeaders headers(response);
        if (headers.expiresPresence == HeaderPresence::Present) s.expires = headers.expires;
        lifetime = s.expires;
    }
    if (lifetime == 0) {
        s.state = kSubscriberUnSubscribed;
        stopTimer(kTimerSubscribeRefresh, s.refreshTimer);
        dialog.startTimer(controller_.getUnsubscribeLinger(), kTimerUnSubscribe);
        report(kUnsubscribeSucceeded, &response);
        return;
    }
    s.state = kSubscriberSubscribed;
    if (lifetime > 0) {
        s.confirmedAt = dialog.now();
        startTimer(kTimerSubscribeExpire, expiryMilliseconds(lifetime), s.expireTimer);
        if (!s.referMode && controller_.getAutoRefresh())
            startTimer(kTimerSubscribeRefresh, expiryMilliseconds(lifetime) / 2, s.refreshTimer);
    }
    report(s.referMode ? kReferSucceeded : kSubscribeSucceeded, &response);
}

bool SipSubscriberDialogBase::answer(const SipMessageExt& request, int serverTransactionId, int statusCode,
                                     const char* reasonPhrase) {
    SipDialog& dialog = subscriberDialog();
    return dialog.sendResponseFromRequest(serverTransactionId, request, statusCode, reasonPhrase,
                                          dialog.dialogId().localTag.c_str());
}

bool SipSubscriberDialogBase::onSubscriberNotify(SipMessageExt& request, int serverTransactionId) {
    SipSubscriber* s = subscriber_.get();
    if (s == nullptr || s->state < kSubscriberSubscribing || s->state > kSubscriberUnSubscribed) {
        logPrint(MIN, "SipSubscriber::onReceiveRequest. Invalid SipSubscriberState=[%s], id=%d.\n",
                 s != nullptr ? s->stateString() : "Idle", dialogId());
        return answer(request, serverTransactionId, 481, kNoSubscription);
    }
    // Every check comes before any change, so that a NOTIFY that is refused leaves the
    // subscription and its dialog as they were.
    const SubscriptionHeaders headers(request);
    if (const char* reason = headers.invalidReason()) {
        logPrint(MIN, "SipSubscriber::onReceiveRequest. %s, SipSubscriberState=[%s], id=%d.\n", reason,
                 s->stateString(), dialogId());
        return answer(request, serverTransactionId, 400, reason);
    }
    if (headers.eventPresence == HeaderPresence::Absent) {
        logPrint(MIN, "SipSubscriber::onReceiveRequest. Failed to get SipEvent, SipSubscriberState=[%s], id=%d.\n",
                 s->stateString(), dialogId());
        return answer(request, serverTransactionId, 400, "Missing Event header");
    }
    const bool adoptId = s->referMode && s->event.getId().empty();
    if (!kel_util::equalsIgnoreCase(headers.event.getPackage(), s->event.getPackage()) ||
        (!adoptId && headers.event.getId() != s->event.getId())) {
        logPrint(MIN, "SipSubscriber::onReceiveRequest. Event mismatch, Event=[%s;id=%s], id=%d.\n",
                 headers.event.getPackage().c_str(), headers.event.getId().c_str(), dialogId());
        return answer(request, serverTransactionId, 481, kNoSubscription);
    }
    if (headers.statePresence == HeaderPresence::Absent) {
        logPrint(MIN,
                 "SipSubscriber::onReceiveRequest. Failed to get SipSubscriptionState, SipSubscriberState=[%s], "
                 "id=%d.\n",
                 s->stateString(), dialogId());
        return answer(request, serverTransactionId, 400, "Missing Subscription-State header");
    }
    SipDialog& dialog = subscriberDialog();
    // A NOTIFY may overtake the 2xx (RFC 3265 section 3.1.4.4): it confirms the dialog.
    if (s->state <= kSubscriberUnSubscribing && dialog.getState() == kDialogPending) {
        dialog.setState(kDialogConfirmed);
        if (dialog.dialogId().remoteTag.empty()) dialog.dialogId().remoteTag = request.from.tag;
    }
    if (adoptId) s->event.setId(headers.event.getId());
    const int state = headers.state.getState();
    if (state == SipSubscriptionState::Active && headers.state.getExpires() > 0 &&
        s->state != kSubscriberUnSubscribed) {
        s->confirmedAt = dialog.now();
        startTimer(kTimerSubscribeExpire, expiryMilliseconds(headers.state.getExpires()), s->expireTimer);
    }
    const bool answered = answer(request, serverTransactionId, 200, nullptr);
    s->subscriptionState = state;
    if (state == SipSubscriptionState::Terminated) end();
    report(state == SipSubscriptionState::Terminated ? kNotifiedTerminate
           : state == SipSubscriptionState::Pending  ? kNotifiedPending
                                                     : kNotifiedActive,
           &request);
    return answered;
}

bool SipSubscriberDialogBase::onSubscriberTimeout(int timerName) {
    SipSubscriber* s = subscriber_.get();
    const int state = s != nullptr ? s->state : kSubscriberIdle;
    switch (timerName) {
        case kTimerSubscribeExpire:
            if (state < kSubscriberSubscribing || state > kSubscriberUnSubscribing) break;
            s->expireTimer = false;
            logPrint(kel_util::NOT,
                     "SipSubscriber::onTimeout. Timer SubscribeExpire expired, SipSubscriberState=[%s], id=%d.\n",
                     s->stateString(), dialogId());
            end();
            report(kSubscriptionExpired, nullptr);
            return true;
        case kTimerSubscribeRefresh:
            if (state != kSubscriberSubscribed) break;
            s->refreshTimer = false;
            if (!sendSubscribe(-1, nullptr, 0)) return false;
            report(kSubscriptionRefresh, nullptr);
            return true;
        case kTimerUnSubscribe:
            if (state != kSubscriberUnSubscribed) break;
            s->state = kSubscriberIdle;
            report(kUnsubscribeTimeout, nullptr);
            return true;
        case kTimerSubscribeGuard:
            if (state != kSubscriberSubscribing && state != kSubscriberUnSubscribing) break;
            s->guardTimer = false;
            subscriberDialog().deleteClientTransaction(s->clientTransactionId);
            s->clientTransactionId = -1;
            if (state == kSubscriberSubscribing) {
                end();
            } else {
                s->state = kSubscriberSubscribed;
            }
            report(kSubscribeTimeout, nullptr);
            return true;
        default: break;
    }
    logPrint(MIN, "SipSubscriber::onTimeout. Invalid SipSubscriberState=[%s], TimerName=%d, id=%d.\n",
             s != nullptr ? s->stateString() : "Idle", timerName, dialogId());
    return false;
}

bool SipSubscriberDialogBase::onSubscriberTransactionTimeout(const SipMessageExt& request) {
    SipSubscriber* s = subscriber_.get();
    if (s == nullptr || (s->state != kSubscriberSubscribing && s->state != kSubscriberUnSubscribing)) {
        logPrint(MIN, "SipSubscriber::onClientTransactionTimeout. Invalid SipSubscriberState=[%s], id=%d.\n",
                 s != nullptr ? s->stateString() : "Idle", dialogId());
        return false;
    }
    const int event = s->referMode                            ? kReferTransactionTimeout
                      : s->state == kSubscriberUnSubscribing ? kUnsubscribeTransactionTimeout
                                                              : kSubscribeTransactionTimeout;
    s->clientTransactionId = -1;
    end();
    report(event, &request);
    return true;
}

bool SipSubscriberDialogBase::onSubscriberRequestTransportError(const SipMessageExt& request) {
    // The request never reached the peer and its transaction is gone: no answer will come, so
    // the subscriber does not wait for one.
    SipSubscriber* s = subscriber_.get();
    if (s != nullptr && (s->state == kSubscriberSubscribing || s->state == kSubscriberUnSubscribing)) {
        s->clientTransactionId = -1;
        end();
    }
    report(kSubscriberRequestTransportError, &request);
    return true;
}

bool SipSubscriberDialogBase::onSubscriberResponseTransportError(const SipMessageExt& response) {
    report(kSubscriberResponseTransportError, &response);
    return true;
}

}  // namespace kel_sip
