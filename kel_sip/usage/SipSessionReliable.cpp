// Reliable provisional responses (RFC 3262) on both sides of an INVITE session. Answering: a
// provisional response the INVITE asked to be reliable carries Require: 100rel and an RSeq,
// is sent again from T1 doubling until its PRACK comes, and the INVITE is answered 504 when
// none comes within 64*T1; a PRACK that acknowledges nothing this side sent gets 481 and the
// response goes on being sent. Calling: a reliable provisional response whose RSeq comes in
// order is acknowledged with PRACK at once; one out of order is ignored.
#include <algorithm>
#include <climits>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipRAck.h"
#include "kel_sip/usage/AllowHeaderBuilder.h"
#include "kel_sip/usage/PrAckMatch.h"
#include "kel_sip/usage/SessionBody.h"
#include "kel_sip/usage/SipSession.h"
#include "kel_sip/usage/SipSessionController.h"
#include "kel_sip/usage/SipSessionDialog.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::logPrint;
using kel_util::MIN;

namespace {

int clampedMilliseconds(long long milliseconds) { return static_cast<int>(std::min<long long>(milliseconds, INT_MAX)); }

}  // namespace

ReliableProvisionalRules SipSession::reliableRules() const {
    SipSessionController& controller = dialog_.controller();
    ReliableProvisionalSettings settings;
    settings.process100rel = process100rel_;
    settings.processType = relProcessType_;
    settings.alwaysRSeq = controller.getAlwaysRSeq();
    // The RSeq order is checked with the CSeq order (RFC 3262 section 4).
    settings.skipChecks = controller.getSkipSeqNoChecks();
    return ReliableProvisionalRules(settings);
}

void SipSession::addAllow(SipMessageExt& message, bool prackInUse) const {
    SipSessionController& controller = dialog_.controller();
    AllowSettings settings;
    settings.setAllow = controller.getSetAllow();
    settings.allowUpdate = controller.getAllowUpdate();
    settings.allowInfo = controller.getAllowInfo();
    settings.explicitText = allowText_;
    AllowHeaderBuilder(settings).add(prackInUse, message);
}

void SipSession::stopReliableTimers() {
    stopTimer(kTimerProvResponseRetry, provResponseTimer_);
    stopTimer(kTimerPrAckWait, prAckWaitTimer_);
    if (!invited_) return;
    invited_->waitingPrack = false;
    invited_->reliableProvisional.reset();
}

bool SipSession::sendInviteResponseProvisional(const SessionResponse& response) {
    if (state_ != kSessionInvited && state_ != kSessionReInvited) return refuse("sendInviteResponseProvisional");
    if (invited_->waitingPrack) {
        // RFC 3262 section 3: the next reliable provisional response waits for this one's PRACK.
        logPrint(MIN,
                 "SipSession::sendInviteResponseProvisional. Sending INVITE response, while Waiting for PRACK, "
                 "StatusCode=%d, SipSessionState=[%s], id=%d.\n",
                 response.statusCode, getStateString(), dialogId());
        return true;
    }
    const ReliableProvisionalRules rules = reliableRules();
    const bool reliable = state_ == kSessionInvited && rules.isReliable(response.relProcessType, invited_->peer100rel);
    std::int64_t rseq = -1;
    std::unique_ptr<SipMessageExt> sent;
    const bool done = sendInviteResponse(response, "sendInviteResponseProvisional", &sent, [&](SipMessageExt& message) {
        if (reliable) rseq = rules.addReliableHeaders(rseqCounter_, message);
        addAllow(message, reliable);
    });
    if (!done) return false;
    if (dialog_.getState() == kDialogPending) dialog_.setState(kDialogEarly);
    invited_->proceeding = true;
    if (reliable) {
        invited_->sentReliable = true;
        invited_->lastRSeqSent = rseq;
    }
    if (!reliable || !process100rel_)
        return report(kEventSentInviteProvisionalResponse, sent.get(), "sendInviteResponseProvisional");
    const int t1 = dialog_.controller().getTimerT1();
    invited_->provisionalInterval = t1;
    invited_->reliableProvisional = std::move(sent);
    invited_->waitingPrack = true;
    startTimerMilliseconds(kTimerProvResponseRetry, t1, provResponseTimer_);
    startTimerMilliseconds(kTimerPrAckWait, clampedMilliseconds(64LL * t1), prAckWaitTimer_);
    return report(kEventSentInviteProvisionalResponse, invited_->reliableProvisional.get(),
                  "sendInviteResponseProvisional");
}

bool SipSession::onProvResponseRetryTimer() {
    provResponseTimer_ = false;
    if (state_ != kSessionInvited || !invited_->waitingPrack || !invited_->reliableProvisional) {
        logPrint(MIN, "SipSession::onTimeout. Invalid timer, TimerName=%d, SipSessionState=[%s], id=%d.\n",
                 kTimerProvResponseRetry, getStateString(), dialogId());
        return false;
    }
    // RFC 3262 section 3: T1, doubled at each retransmission; PrAckWait ends it at 64*T1.
    invited_->provisionalInterval = clampedMilliseconds(2LL * invited_->provisionalInterval);
    if (!dialog_.sendResponse(*invited_->reliableProvisional))
        logPrint(MIN, "SipSession::onTimeout. Failed to resend reliable provisional response, id=%d.\n", dialogId());
    startTimerMilliseconds(kTimerProvResponseRetry, invited_->provisionalInterval, provResponseTimer_);
    return true;
}

bool SipSession::onPrAckWaitTimer() {
    prAckWaitTimer_ = false;
    if (state_ != kSessionInvited || !invited_->waitingPrack) {
        logPrint(MIN, "SipSession::onTimeout. Invalid timer, TimerName=%d, SipSessionState=[%s], id=%d.\n",
                 kTimerPrAckWait, getStateString(), dialogId());
        return false;
    }
    // RFC 3262 section 3: the reliable provisional response was never acknowledged.
    SessionResponse timeout;
    timeout.statusCode = 504;
    const bool answered = sendInviteErrorResponse(timeout);
    return report(kEventPrAckWaitingTimeout, nullptr, "onTimeout") && answered;
}

bool SipSession::onReceivePrAck(SipMessageExt& request, int serverTransactionId) {
    if (state_ != kSessionInvited) return refuse("onReceivePrAck");
    if (process100rel_) {
        const PrAckVerdict verdict =
            matchPrAck(request, invited_->waitingPrack, invited_->remoteSeqNo, invited_->lastRSeqSent);
        if (verdict != PrAckVerdict::Matched) {
            // RFC 3262 section 3: it acknowledges nothing waiting; the response goes on being sent.
            logPrint(MIN, "SipSession::onReceivePrAck. Invalid PRACK, SipSessionState=[%s], id=%d.\n",
                     getStateString(), dialogId());
            return answer(request, serverTransactionId, prAckAnswerStatus(verdict));
        }
        stopReliableTimers();
    }
    prAcked_ = std::make_unique<AnsweredSipSessionData>();
    keepRequest(*prAcked_, request, serverTransactionId);
    if (!report(kEventPrAcked, &request, "onReceivePrAck")) {
        // The controller answers it 500.
        prAcked_.reset();
        return false;
    }
    if (!process100rel_) return true;
    SessionResponse ok;
    ok.statusCode = 200;
    return sendPrAckResponse(ok);
}

bool SipSession::sendPrAckResponse(const SessionResponse& response) {
    if (state_ != kSessionInvited || !prAcked_) return refuse("sendPrAckResponse");
    const std::unique_ptr<AnsweredSipSessionData> prack = std::move(prAcked_);
    if (!sendKeptResponse(*prack, response, invited_->contentType, "sendPrAckResponse")) {
        dialog_.deleteServerTransaction(prack->serverTransactionId);
        return false;
    }
    const bool success = response.statusCode >= 200 && response.statusCode < 300;
    const std::string body = response.reuseLocalContent ? localBody_ : std::string(response.body);
    // The answer given in the PRACK's 2xx is the one the 2xx to INVITE repeats.
    if (success && !body.empty()) setLocalContent(body, contentTypeOr(response.contentType, invited_->contentType));
    return true;
}

bool SipSession::takesReliable(SipMessageExt& response, ReceivedProvisional& verdict) {
    if (state_ != kSessionInviting) return true;
    verdict = reliableRules().checkProvisional(inviting_->relProcessType, response, inviting_->lastRSeq);
    if (verdict.verdict != ReceivedProvisional::Refused) return true;
    logPrint(MIN,
             "SipSession::onReceiveResponseInviteProvisional. Ignore Response because failed check RSeq number, "
             "LastNumber=%lld, ReceiveNumber=%lld, Method=[INVITE], StatusCode=%d, SipSessionState=[%s], id=%d.\n",
             static_cast<long long>(inviting_->lastRSeq), static_cast<long long>(verdict.rseq), response.statusCode,
             getStateString(), dialogId());
    return false;
}

bool SipSession::sendPrAck(const PrAckOrder& order) {
    if (state_ != kSessionInviting || !inviting_->proceeding) {
        logPrint(MIN, "SipSession::sendPrAck. SipSession not proceeding, SipSessionState=[%s], id=%d.\n",
                 getStateString(), dialogId());
        return false;
    }
    const int seqNo = dialog_.info().nextLocalSeqNo();
    if (seqNo < 0) return refuse("sendPrAck");
    std::unique_ptr<SipMessageExt> prack = dialog_.createRequest("PRACK", seqNo);
    // The early dialog of the response acknowledged (RFC 3262 section 7.1).
    prack->to.tag = !order.toTag.empty() ? std::string(order.toTag) : inviting_->provisionalToTag;
    prack->addTypedHeader(SipHeader::RAck, SipRAck(order.rseq, SipCSeq(inviteSeqNo_, SipMethod::Invite)));
    if (order.headers != nullptr) prack->addHeaders(*order.headers);
    const std::string contentType = contentTypeOr(order.contentType, inviting_->contentType);
    attachBody(*prack, order.body, contentType);
    if (dialog_.credentials() != nullptr) dialog_.credentials()->addCredentials(*prack);
    const int result = dialog_.sendRequestTo(*prack, nullptr, dialog_.info().isStrictRouting());
    if (result < 1) {
        logPrint(MIN, "SipSession::sendPrAck. Failed sendRequestTo, result=%d, id=%d.\n", result, dialogId());
        return false;
    }
    inviting_->lastRSeq = order.rseq;
    inviting_->prackSent = true;
    if (!order.body.empty()) {
        inviting_->body = order.body;
        inviting_->contentType = contentType;
    }
    return report(kEventSentPrAck, prack.get(), "sendPrAck");
}

bool SipSession::onPrAckResponse(const SipMessageExt& response) {
    if (response.statusCode < 200) return true;
    // The provisional responses that follow are taken again.
    if (inviting_) inviting_->prackSent = false;
    const bool success = response.statusCode < 300;
    return report(success ? kEventPrAckingSucceeded : kEventPrAckingFailed, &response, "onReceiveResponsePrAck");
}

}  // namespace kel_sip
