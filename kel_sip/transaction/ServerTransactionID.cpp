#include "kel_sip/transaction/ServerTransactionID.h"

#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transaction/TransactionTypes.h"

namespace kel_sip {

std::string ServerTransactionID::keyOf(const SipMessage& message) {
    if (!message.vias.empty() && message.vias.front().getBranch().starts_with(kBranchMagicCookie)) {
        return message.vias.front().getBranch();
    }
    return message.callId;
}

bool ServerTransactionID::set(const SipMessage& request) {
    if (request.vias.empty()) return false;
    key_ = keyOf(request);
    topVia_ = request.vias.front();
    requestUri_ = request.requestUri;
    toTag_ = request.to.tag;
    fromTag_ = request.from.tag;
    callId_ = request.callId;
    cseqNumber_ = request.cseq.getNumber();
    return true;
}

bool ServerTransactionID::isMatching(const SipMessage& message, bool withToTag) const {
    if (message.vias.empty()) return false;
    const SipVia& via = message.vias.front();
    if (via.getBranch().starts_with(kBranchMagicCookie)) return isMatchingByBranch(via);
    return isMatchingByFields(message, withToTag);
}

bool ServerTransactionID::isMatchingByBranch(const SipVia& via) const {
    return via.getBranch() == topVia_.getBranch() &&
           via.getSentBy().equals(topVia_.getSentBy(), transportTypeOf(topVia_.getTransport()));
}

bool ServerTransactionID::isMatchingByFields(const SipMessage& message, bool withToTag) const {
    if (message.cseq.getNumber() != cseqNumber_ || message.from.tag != fromTag_ || message.callId != callId_) return false;
    if (!message.vias.front().equals(topVia_)) return false;
    if (message.isRequest && !message.requestUri.equals(requestUri_)) return false;
    return !withToTag || message.to.tag == toTag_;
}

}  // namespace kel_sip
