// What a server transaction keeps of the request that created it, and the matching of later
// requests and of the user's responses to it (RFC 3261 section 17.2.3).
#pragma once

#include <memory>
#include <string>

#include "kel_sip/syntax/SipMessage.h"

namespace kel_sip {

class ServerTransactionID {
public:
    // Keeps what later messages are matched by: the top Via's branch and sent-by, and for an
    // RFC 2543 peer (a branch without the magic cookie) also the whole top Via, Request-URI,
    // To and From tags, Call-ID and CSeq number. False without a Via.
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
    // The fields an RFC 2543 request is matched by; most transactions never need them, and
    // each live server transaction carries this record for its whole life.
    struct FieldsOf2543 {
        SipVia topVia;
        SipURI requestUri;
        std::string toTag;
        std::string fromTag;
        std::string callId;
        int cseqNumber = -1;
    };

    bool isMatchingByBranch(const SipVia& via) const;
    bool isMatchingByFields(const SipMessage& message, bool withToTag) const;

    std::string key_;  // the branch, when it carries the magic cookie
    SipHostPort sentBy_;
    int transportType_ = 0;
    std::unique_ptr<const FieldsOf2543> fields2543_;  // only for a branch without the cookie
};

}  // namespace kel_sip
