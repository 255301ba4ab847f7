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
    const SipVia& via = request.vias.front();
    key_ = keyOf(request);
    sentBy_ = via.getSentBy();
    transportType_ = transportTypeOf(via.getTransport());
    fields2543_.reset();
    if (!via.getBranch().starts_with(kBranchMagicCookie)) {
        fields2543_ = std::make_unique<const FieldsOf2543>(FieldsOf2543{
            via, request.requestUri, request.to.tag, request.from.tag, request.callId, request.cseq.getNumber()});
    }
    return true;
}

bool ServerTransactionID::isMatching(const SipMessage& message, bool withToTag) const {
    if (message.vias.empty()) return false;
    const SipVia& via = message.vias.front();
    if (via.getBranch().starts_with(kBranchMagicCookie)) return isMatchingByBranch(via);
    return isMatchingByFields(message, withToTag);
}

bool ServerTransactionID::isMatchingByBranch(const SipVia& via) const {
    // A request kept without the cookie has a branch no cookie-carrying message can equal.
    return fields2543_ == nullptr && via.getBranch() == key_ && via.getSentBy().equals(sentBy_, transportType_);
}

bool ServerTransactionID::isMatchingByFields(const SipMessage& message, bool withToTag) const {
    if (fields2543_ == nullptr) return false;  // the request carried the cookie; this one does not
    const FieldsOf2543& kept = *fields2543_;
    if (message.cseq.getNumber() != kept.cseqNumber || message.from.tag != kept.fromTag || message.callId != kept.callId) {
        return false;
    }
    if (!message.vias.front().equals(kept.topVia)) return false;
    if (message.isRequest && !message.requestUri.equals(kept.requestUri)) return false;
    return !withToTag || message.to.tag == kept.toTag;
}

}  // namespace kel_sip
