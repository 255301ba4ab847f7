#include "kel_sip/transaction/ControllerTransactionContext.h"

#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transaction/TransactionTypes.h"
#include "kel_sip/transport/SipTransportBase.h"

namespace kel_sip {

bool ControllerTransactionContext::sendRequest(SipMessageExt& request, int transactionId) {
    return transport_.sendRequest(request, transactionId);
}

bool ControllerTransactionContext::sendResponse(SipMessageExt& response, int transactionId) {
    return transport_.sendResponse(response, transactionId);
}

bool ControllerTransactionContext::isReliable() const {
    return isReliableTransport(transport_.getTransportType());
}

bool ControllerTransactionContext::startTimer(int transactionId, int timer, int milliseconds) {
    const bool endOfLife = timer == kTimerD || timer == kTimerI || timer == kTimerJ || timer == kTimerK;
    return controller_.setTimer(endOfLife ? controller_.terminalTimerDelay(milliseconds) : milliseconds, transactionId,
                                timer);
}

void ControllerTransactionContext::cancelTimer(int transactionId, int timer) {
    controller_.cancelTimer(transactionId, timer);
}

bool ControllerTransactionContext::notifyUser(int type, SipMessageSlot& message, int transactionId, int userId) {
    return controller_.notifyTU(user_, type, message, transactionId, userId);
}

TransactionTimerValues ControllerTransactionContext::timerValues() const { return controller_.timerValues(); }

}  // namespace kel_sip
