#include "kel_sip/transaction/ServerTransaction.h"

namespace kel_sip {

bool ServerTransaction::setRequest(const SipMessageExt& request) {
    if (!match_.set(request)) return false;
    method_ = TransactionMethod::ofRequest(request);
    return true;
}

bool ServerTransaction::isRequestMatching(const SipMessage& request) const {
    return TransactionMethod::ofRequest(request) == method_ && match_.isMatching(request, true);
}

bool ServerTransaction::isResponseMatching(const SipMessage& response) const {
    return TransactionMethod::ofCSeq(response) == method_ && match_.isMatching(response, false);
}

bool ServerTransaction::isCancelMatching(const SipMessage&) const {
    return false;
}

void ServerTransaction::keepSource(const SipMessageExt& request) {
    if (!isReliable()) return;
    sourceKept_ = true;
    source_ = request.peer;
    sourceConnectionId_ = request.connectionId;
}

bool ServerTransaction::sendAndKeep(SipMessageSlot response) {
    lastResponse_ = std::move(response);
    if (sourceKept_) {
        lastResponse_->peer = source_;
        if (lastResponse_->connectionId < 0) lastResponse_->connectionId = sourceConnectionId_;
    }
    return sendResponseByTransport(*lastResponse_);
}

}  // namespace kel_sip
