#include "kel_sip/transaction/ClientTransactionID.h"

#include "kel_util/Log.h"

namespace kel_sip {

bool ClientTransactionID::keyOf(const SipMessage& message, std::string& key) {
    if (message.vias.empty()) return false;
    const std::string& branch = message.vias.front().getBranch();
    if (branch.size() <= kBranchMagicCookie.size()) return false;
    key.assign(branch, kBranchMagicCookie.size());
    return true;
}

bool ClientTransactionID::set(const SipMessage& request) {
    if (!keyOf(request, key_)) return false;
    method_ = TransactionMethod::ofCSeq(request);
    return true;
}

bool ClientTransactionID::isMatching(const SipMessage& message) const {
    kel_util::logPrint(kel_util::DEV, "ClientTransactionID::isMatching.\n");
    if (TransactionMethod::ofCSeq(message) != method_) return false;
    std::string key;
    return keyOf(message, key) && key == key_;
}

}  // namespace kel_sip
