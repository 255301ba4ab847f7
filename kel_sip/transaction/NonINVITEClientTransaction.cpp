#include "kel_sip/transaction/NonINVITEClientTransaction.h"

namespace kel_sip {

bool NonINVITEClientTransaction::onSendRequest(const SipMessageExt& request, int userId) {
    return start(request, userId, kTimerF, kTimerE, kStateTrying);
}

bool NonINVITEClientTransaction::onRunningTimer(int timer) {
    switch (timer) {
        case kTimerE:
            if (!isWaitingForFinal()) break;
            if (!resendStoredRequest()) return endWithSendFailure();
            // In Proceeding the interval is already T2 (set by the provisional response).
            return restartRetransmitTimer(kTimerE, timerValues().t2);
        case kTimerF:
            if (!isWaitingForFinal()) break;
            return endWithTimeout();
        case kTimerK:
            return endWait(kTimerK, kStateCompleted);
        default:
            break;
    }
    return ignoreTimer(timer);
}

bool NonINVITEClientTransaction::onReceiveResponse(SipMessageSlot& response) {
    if (state_ == kStateCompleted) return true;  // a retransmission, dropped
    if (!isWaitingForFinal()) return refuseInput("onReceiveResponse");
    if (response->statusCode < 200) {
        if (state_ == kStateTrying) setInterval(timerValues().t2);
        state_ = kStateProceeding;
        return notifyTU(SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, response);
    }
    cancelTimers();
    if (!notifyTU(SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, response)) return false;
    return waitForRetransmissions(kStateCompleted, kTimerK, timerValues().t4);
}

bool NonINVITEClientTransaction::onHeaderLengthError(SipMessageSlot& response) {
    return onReceiveResponse(response);
}

bool NonINVITEClientTransaction::onTransportError(SipMessageSlot& message) {
    if (!isWaitingForFinal()) return refuseInput("onTransportError");
    return endWithTransportError(message);
}

}  // namespace kel_sip
