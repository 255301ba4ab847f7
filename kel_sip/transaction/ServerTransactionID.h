// What a server transaction keeps of the request that created it, and the matching of later
// requests and of the user's responses to it (RFC 3261 section 17.2.3).
#pragma once

#include <string>

#include "kel_sip/syntax/SipMessage.h"

namespace kel_sip {

class ServerTransactionID {
public:
    // Copies the top Via, Request-URI, To and From tags, Call-ID and CSeq number; false
    // without a Via.
    bool set(const SipMessage& request);

    // The key under which a server transaction is listed and looked up: the top Via branch
    // when it begins with the magic cookie (every message that can match by branch carries
    // that branch), else the Call-ID (the fields an RFC 2543 peer is matched by). Requests
    // that share a Call-ID, as a dialog's all do, so never wait on one another's lookups.
    static std::string keyOf(const SipMessage& message);
    // The key of the request given to set.
    const std::string& key() const { return key_; }

    // When the message's top Via branch begins with the magic cookie: the branch and the
    // sent-by equal those of the creating request. Otherwise (RFC 2543 peers): the CSeq number,
    // From tag, Call-ID and the whole top Via equal, the Request-URI too for a request (a
    // response carries none), and with withToTag the To tag as well. The method is the
    // caller's to check.
    bool isMatching(const SipMessage& message, bool withToTag) const;

private:
    bool isMatchingByBranch(const SipVia& via) const;
    bool isMatchingByFields(const SipMessage& message, bool withToTag) const;

    std::string key_;
    SipVia topVia_;
    SipURI requestUri_;
    std::string toTag_;
    std::string fromTag_;
    std::string callId_;
    int cseqNumber_ = -1;
};

}  // namespace kel_sip
