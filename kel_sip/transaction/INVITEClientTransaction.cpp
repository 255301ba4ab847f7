#include "kel_sip/transaction/INVITEClientTransaction.h"

#include <climits>

#include "kel_sip/syntax/SipMethod.h"

namespace kel_sip {

bool INVITEClientTransaction::onSendRequest(const SipMessageExt& request, int userId) {
    return start(request, userId, kTimerB, kTimerA, kStateCalling);
}

bool INVITEClientTransaction::onRunningTimer(int timer) {
    switch (timer) {
        case kTimerA:
            if (state_ != kStateCalling) break;
            if (!resendStoredRequest()) return endWithSendFailure();
            return restartRetransmitTimer(kTimerA, INT_MAX);
        case kTimerB:
            if (state_ != kStateCalling) break;
            return endWithTimeout();
        case kTimerD:
            return endWait(kTimerD, kStateCompleted);
        default:
            break;
    }
    return ignoreTimer(timer);
}

bool INVITEClientTransaction::onReceiveResponse(SipMessageSlot& response) {
    return onResponse(response, true);
}

bool INVITEClientTransaction::onHeaderLengthError(SipMessageSlot& response) {
    return onResponse(response, false);
}

bool INVITEClientTransaction::onResponse(SipMessageSlot& response, bool acknowledge) {
    const int code = response->statusCode;
    if (state_ == kStateCompleted) return code >= 300 ? onFailureRetransmission(*response, acknowledge) : true;
    if (state_ != kStateCalling && state_ != kStateProceeding) return refuseInput("onReceiveResponse");
    if (code >= 300) return onFailureResponse(response, acknowledge);
    cancelTimers();
    state_ = code < 200 ? kStateProceeding : kStateTerminated;
    return notifyTU(SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, response);
}

bool INVITEClientTransaction::onFailureResponse(SipMessageSlot& response, bool acknowledge) {
    cancelTimers();
    bool ackSent = true;
    if (acknowledge) {
        makeAck(*response);
        ackSent = resendStoredRequest();
    }
    // The user learns the final response even when its ACK could not be sent.
    if (!notifyTU(SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, response)) return false;
    if (!ackSent) return endWithSendFailure();
    return waitForRetransmissions(kStateCompleted, kTimerD, timerValues().td);
}

bool INVITEClientTransaction::onFailureRetransmission(const SipMessageExt& response, bool acknowledge) {
    // The first final response may have come with a header length error and found no ACK.
    if (!hasAck() && acknowledge) makeAck(response);
    if (hasAck() && !resendStoredRequest()) return endWithSendFailure();
    return true;  // the retransmission itself is dropped
}

bool INVITEClientTransaction::onTransportError(SipMessageSlot& message) {
    // Proceeding too: a connection lost while waiting for the final response must not leave
    // the user waiting for ever (Timer B no longer runs there).
    if (state_ != kStateCalling && state_ != kStateProceeding && state_ != kStateCompleted)
        return refuseInput("onTransportError");
    return endWithTransportError(message);
}

void INVITEClientTransaction::makeAck(const SipMessageExt& response) {
    storedRequest_->makeAck();
    storedRequest_->to = response.to;
}

bool INVITEClientTransaction::hasAck() const {
    return storedRequest_ && storedRequest_->methodKind == SipMethod::Ack;
}

}  // namespace kel_sip
