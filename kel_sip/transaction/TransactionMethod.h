// The method a transaction was created for, compared as RFC 3261 section 17 matches it: by
// kind, and by name for methods outside the table (method names are case-sensitive).
#pragma once

#include <string>

#include "kel_sip/syntax/SipMessage.h"

namespace kel_sip {

struct TransactionMethod {
    int kind = -1;  // a SipMethod kind
    std::string name;

    // The method of a request's start line.
    static TransactionMethod ofRequest(const SipMessage& request) {
        return {request.methodKind, std::string(request.getMethodName())};
    }
    // The method of a message's CSeq (what a response names).
    static TransactionMethod ofCSeq(const SipMessage& message) {
        return {message.cseq.getMethodKind(), std::string(message.cseq.getMethodName())};
    }

    bool operator==(const TransactionMethod&) const = default;
};

}  // namespace kel_sip
