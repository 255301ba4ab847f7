#include "kel_sip/transaction/ClientTransaction.h"

#include "kel_util/Log.h"

namespace kel_sip {

bool ClientTransaction::setRequest(const SipMessageExt& request) {
    if (!match_.set(request)) return false;
    method_ = match_.method();
    return true;
}

bool ClientTransaction::isResponseMatching(const SipMessage& response) const {
    kel_util::logPrint(kel_util::DEV, "ClientTransaction::isResponseMatching.\n");
    return match_.isMatching(response);
}

bool ClientTransaction::start(const SipMessageExt& request, int userId, int timeoutTimer, int retransmitTimer,
                              int state) {
    if (state_ != kStateTerminated) return refuseInput("onSendRequest");
    storedRequest_ = std::make_unique<SipMessageExt>(request);
    userId_ = userId;
    if (!sendRequestByTransport(*storedRequest_)) return false;
    if (!startTimer(timeoutTimer, transactionTimeout())) return false;
    if (!isReliable() && !startRetransmitTimer(retransmitTimer)) return false;
    state_ = state;
    return true;
}

bool ClientTransaction::endWithTimeout() {
    cancelTimers();
    state_ = kStateTerminated;
    return notifyTU(SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT, storedRequest_);
}

}  // namespace kel_sip
