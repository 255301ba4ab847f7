// The addressing and sequence numbers of a dialog (RFC 3261 section 12.1), also copied into the
// data a usage keeps for each transaction it runs in the dialog.
//
// Threads: not shared; the owner works on it under its dialog's entry lock.
#pragma once

#include <vector>

#include "kel_sip/syntax/SipAddress.h"
#include "kel_sip/syntax/SipFromTo.h"
#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/syntax/SipRoute.h"
#include "kel_sip/syntax/SipURI.h"

namespace kel_sip {

class SipDialogInfo {
public:
    virtual ~SipDialogInfo() = default;

    // The CSeq number of the next request this side sends (RFC 3261 section 12.2.1.1): one
    // above the last, never below 0; -1 when the counter has reached the largest CSeq, so that
    // a number is never used twice.
    int nextLocalSeqNo();

    // Takes the addressing of a request that creates a dialog on the answering side (RFC 3261
    // section 12.1.1): remote CSeq, local party from To, remote party from From (both without
    // tag), remote target from Contact when that is a SIP URI, route set from Record-Route in
    // order. False, with nothing changed, when Contact or Record-Route cannot be used.
    bool takeRequest(const SipMessage& request);
    // Takes the remote target from message's Contact when it is a SIP URI (RFC 3261 section
    // 12.2.1.2; other URIs leave it as it was) and, with takeRoutes, the route set from its
    // Record-Route values, reversed for a response (section 12.1.2). False, with nothing
    // changed, when Contact or Record-Route cannot be used.
    bool takeTargetAndRoutes(const SipMessage& message, bool takeRoutes);

    // The route set asks for strict routing: its first SIP URI lacks "lr" (RFC 3261 section
    // 12.2.1.1, RFC 2543 proxies).
    bool isStrictRouting() const;

    int localSeqNo = 0;
    int remoteSeqNo = 0;
    SipFromTo localParty;   // without tag
    SipFromTo remoteParty;
    SipURI remoteTarget;
    SipAddress localContact;  // the Contact of requests and of 101-399 responses when set
    int flags = 0;
    std::vector<SipRoute> routeSet;
};

}  // namespace kel_sip
