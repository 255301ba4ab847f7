// The session-timer values of one INVITE session (RFC 4028) and of the messages that negotiate
// them. Process types: 0 none, 1 offer ("timer" in Supported), 2 insist ("timer" in Require
// and Supported); refreshers are SipSessionExpires::Refresher values.
#pragma once

#include <optional>

#include "kel_sip/syntax/SipSessionExpires.h"

namespace kel_sip {

// A session's settings; the negotiation rewrites the process type, Min-SE, Session-Expires
// and refresher with what the last 2xx agreed, so that the refreshes carry those values.
struct SessionTimerParams {
    bool processSessionTimer = true;  // this side runs the timers itself
    int processType = 0;
    int minSE = 0;             // seconds
    int sessionExpires = -1;   // seconds; -1 = none
    bool refresher = false;    // this side refreshes the session
    int startType = 0;         // when a 2xx sent uses the timer: 0 peer required it, 1 peer supports it, 2 always
    bool useUpdateSessionRefresh = false;  // refresh with UPDATE instead of re-INVITE
    bool forceRequireTimer = false;        // "timer" in Require on every 2xx that uses the timer
    bool omitMinSE = false;                // no Min-SE header in requests
};

// The values given with one call (an INVITE, UPDATE or answer); each unset one comes from the
// session.
struct SessionTimerOverrides {
    std::optional<int> processType;
    std::optional<int> minSE;
    std::optional<int> sessionExpires;
    std::optional<int> refresher;
};

// What one request or 2xx this side sends carries.
struct SessionTimerValues {
    int processType = 0;
    bool used = false;  // the message negotiates the timer; Session-Expires went out when it is 0 or more
    int minSE = 0;
    int sessionExpires = -1;
    int refresher = SipSessionExpires::RefresherNone;
};

// What a received INVITE or UPDATE asked for.
struct SessionTimerRequest {
    int use = 0;  // 0 none, 1 "timer" in Supported, 2 "timer" in Require
    int minSE = 0;  // the larger of the request's Min-SE and this side's
    int sessionExpires = -1;
    int refresher = SipSessionExpires::RefresherNone;
};

// The outcome of checking a received request: status 0 goes on; the answer 400 carries
// headerValue in a Reason-Phrase header, 420 headerValue ("timer") in Unsupported, 422
// request.minSE in Min-SE (SipMessage::fillResponse adds each).
struct SessionTimerCheck {
    int status = 0;
    const char* headerValue = nullptr;
    SessionTimerRequest request;
};

// When the session timers fire, in seconds from now; 0 = that timer is not started.
struct SessionTimerInstants {
    int expirySeconds = 0;   // SessionTimer: the session ends (BYE) unless refreshed
    int refreshSeconds = 0;  // SessionRefreshTimer: this side sends the refresh
};

}  // namespace kel_sip
