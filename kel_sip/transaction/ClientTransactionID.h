// What identifies a client transaction to the responses it receives (RFC 3261 section
// 17.1.3): the branch of the request's top Via and the method of its CSeq.
#pragma once

#include <string>

#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/transaction/TransactionMethod.h"
#include "kel_sip/transaction/TransactionTypes.h"

namespace kel_sip {

class ClientTransactionID {
public:
    // The key of a message: its top Via branch without the first seven characters. False
    // without a Via or with a branch of seven characters or fewer.
    static bool keyOf(const SipMessage& message, std::string& key);

    // Takes the key and the CSeq method of the request; false as keyOf.
    bool set(const SipMessage& request);
    // A response (or a request such as a CANCEL's target) matches when its CSeq method is the
    // transaction's and its top Via branch gives the same key.
    bool isMatching(const SipMessage& message) const;

    const std::string& key() const { return key_; }
    const TransactionMethod& method() const { return method_; }

private:
    std::string key_;
    TransactionMethod method_;
};

}  // namespace kel_sip
