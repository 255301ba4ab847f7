#include "kel_sip/transaction/INVITEServerTransaction.h"

#include "kel_sip/syntax/SipMethod.h"
#include "kel_util/Log.h"

using kel_util::logPrint;

namespace kel_sip {

bool INVITEServerTransaction::isRequestMatching(const SipMessage& request) const {
    if (request.methodKind == SipMethod::Invite) return matchData().isMatching(request, true);
    if (request.methodKind != SipMethod::Ack) return false;
    if (state_ != kStateCompleted && state_ != kStateConfirmed) {
        logPrint(kel_util::DBG, "INVITEServerTransaction::isRequestMatching. Invalid state=%d.\n", state_);
        return false;
    }
    if (!matchData().isMatching(request, false)) {
        logPrint(kel_util::DBG, "INVITEServerTransaction::isRequestMatching. Failed isMatching.\n");
        return false;
    }
    return true;
}

bool INVITEServerTransaction::isCancelMatching(const SipMessage& request) const {
    return state_ == kStateProceeding && matchData().isMatching(request, false);
}

bool INVITEServerTransaction::onReceiveRequest(SipMessageSlot& request) {
    if (request->methodKind == SipMethod::Ack) return onAck(request);
    switch (state_) {
        case kStateTerminated:
            return onFirstInvite(request);
        case kStateProceeding:
        case kStateCompleted:
            request.reset();  // a retransmission: answered with the last response
            return resendLastResponse() || endWithSendFailure();
        case kStateConfirmed:
            return true;  // a late retransmission: the final response was acknowledged
        default:
            return refuseInput("onReceiveRequest");
    }
}

bool INVITEServerTransaction::onFirstInvite(SipMessageSlot& request) {
    keepSource(*request);
    // RFC 3261 section 17.2.1: 100 Trying at once, so that the client stops retransmitting.
    if (!sendAndKeep(request->createResponse(100, nullptr, false))) return false;
    state_ = kStateProceeding;
    return notifyTU(SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST, request);
}

bool INVITEServerTransaction::onAck(SipMessageSlot& ack) {
    if (state_ == kStateConfirmed) return true;  // a retransmitted ACK, dropped
    if (state_ != kStateCompleted) return refuseInput("onReceiveRequest");
    cancelTimers();
    if (notifyFailureAck_ && !notifyTU(SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST, ack)) return false;
    return waitForRetransmissions(kStateConfirmed, kTimerI, timerValues().t4);
}

bool INVITEServerTransaction::onSendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) {
    const int code = response.statusCode;
    logPrint(kel_util::DBG, "INVITEServerTransaction::onSendResponse. statusCode=%d, iParam=%d, bNotifyFailureAck=%s.\n",
             code, parameter, notifyFailureAck ? "true" : "false");
    if (state_ != kStateProceeding) return refuseInput("onSendResponse");
    if (!sendAndKeep(std::make_unique<SipMessageExt>(response))) return false;
    if (code < 200) {
        userId_ = parameter;
    } else if (code < 300) {
        state_ = kStateTerminated;
    } else {
        userId_ = parameter;
        notifyFailureAck_ = notifyFailureAck;
        return onFailureResponseSent();
    }
    return true;
}

bool INVITEServerTransaction::onFailureResponseSent() {
    state_ = kStateCompleted;
    if (!startTimer(kTimerH, transactionTimeout())) return false;
    return isReliable() || startRetransmitTimer(kTimerG);
}

bool INVITEServerTransaction::onRunningTimer(int timer) {
    switch (timer) {
        case kTimerG:
            if (state_ != kStateCompleted) break;
            if (!resendLastResponse()) return endWithSendFailure();
            return restartRetransmitTimer(kTimerG, timerValues().t2);
        case kTimerH:
            if (state_ != kStateCompleted) break;
            // RFC 3261 section 17.2.1: no ACK came; the user decides what that means.
            cancelTimers();
            state_ = kStateTerminated;
            return notifyTU(SIPTRANSACTION_EVMSGTYPE_SERVERTRANSACTIONTIMEOUT, lastResponse_);
        case kTimerI:
            return endWait(kTimerI, kStateConfirmed);
        default:
            break;
    }
    return ignoreTimer(timer);
}

bool INVITEServerTransaction::onTransportError(SipMessageSlot& message) {
    if (state_ != kStateProceeding && state_ != kStateCompleted) return refuseInput("onTransportError");
    return endWithTransportError(message);
}

}  // namespace kel_sip
