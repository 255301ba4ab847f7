#include "kel_sip/transaction/NonINVITEServerTransaction.h"

#include "kel_util/Log.h"

namespace kel_sip {

bool NonINVITEServerTransaction::onReceiveRequest(SipMessageSlot& request) {
    switch (state_) {
        case kStateTerminated:
            keepSource(*request);
            state_ = kStateTrying;
            return notifyTU(SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST, request);
        case kStateTrying:
            return true;  // a retransmission before any response: absorbed
        case kStateProceeding:
        case kStateCompleted:
            request.reset();  // a retransmission: answered with the last response
            return resendLastResponse() || endWithSendFailure();
        default:
            return refuseInput("onReceiveRequest");
    }
}

bool NonINVITEServerTransaction::onSendResponse(const SipMessageExt& response, int parameter, bool) {
    const int code = response.statusCode;
    kel_util::logPrint(kel_util::DBG, "NonINVITEServerTransaction::onSendResponse. statusCode=%d, iParam=%d.\n", code,
                       parameter);
    if (state_ != kStateTrying && state_ != kStateProceeding) return refuseInput("onSendResponse");
    if (!sendAndKeep(std::make_unique<SipMessageExt>(response))) return false;
    userId_ = parameter;
    if (code < 200) {
        state_ = kStateProceeding;
        return true;
    }
    return waitForRetransmissions(kStateCompleted, kTimerJ, transactionTimeout());
}

bool NonINVITEServerTransaction::onRunningTimer(int timer) {
    return timer == kTimerJ ? endWait(kTimerJ, kStateCompleted) : ignoreTimer(timer);
}

bool NonINVITEServerTransaction::onTransportError(SipMessageSlot& message) {
    if (state_ != kStateProceeding && state_ != kStateCompleted) return refuseInput("onTransportError");
    return endWithTransportError(message);
}

}  // namespace kel_sip
