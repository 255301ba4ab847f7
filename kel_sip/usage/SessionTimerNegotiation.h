// The session-timer rules of an INVITE session (RFC 4028): which Supported, Require, Min-SE and
// Session-Expires headers a request and a 2xx carry, how a received request is checked (420,
// 422, or 400 for a value that does not parse), which values a 2xx sent or received leaves
// the session with, and when the session timer and the refresh timer fire.
//
// Values from the network are read as 64-bit numbers (0..2**32-1, anything else does not
// parse) and clamped to the largest int, so a huge interval never wraps to a negative one.
//
// Answering an INVITE or UPDATE: checkRequest (a status is the answer), addSuccessHeaders on
// the 2xx, takeSent once it went out, then instants start the timers. Sending one:
// addRequestHeaders (its values are kept with the request), then takeSuccess on the 2xx and
// instants.
//
// Threads: owned by a session and touched under its dialog's entry lock.
#pragma once

#include <cstdint>

#include "kel_sip/syntax/HeaderListBase.h"
#include "kel_sip/usage/SessionTimerParams.h"

namespace kel_sip {

// The session state and dialog ID number the log lines name.
struct SessionLogTag {
    const char* state = "";
    int id = -1;
};

class SessionTimerNegotiation {
public:
    SessionTimerNegotiation() = default;
    explicit SessionTimerNegotiation(const SessionTimerParams& params) : params_(params) {}

    const SessionTimerParams& params() const noexcept { return params_; }
    SessionTimerParams& params() noexcept { return params_; }

    // Adds the session-timer headers of an INVITE or UPDATE to request and returns what they
    // carry. Without ProcessSessionTimer only the given values count.
    SessionTimerValues addRequestHeaders(const SessionTimerOverrides& given, HeaderListBase& request) const;

    // Checks a received INVITE or UPDATE (RFC 4028 sections 8.1 and 9): 420 when it requires
    // "timer" and this side runs timers with process type 0; 400 when its Min-SE or
    // Session-Expires does not parse; 422 when the interval is below the Min-SE. Logs each
    // refusal.
    SessionTimerCheck checkRequest(HeaderListBase& request, const SessionLogTag& tag) const;

    // Adds the session-timer headers of a 2xx to the request described by requested and
    // returns what they carry. Does not change the session: takeSent does once it went out.
    SessionTimerValues addSuccessHeaders(const SessionTimerOverrides& given, const SessionTimerRequest& requested,
                                         HeaderListBase& response) const;
    // The session takes the values of a 2xx it sent. A 2xx that carried no Session-Expires
    // leaves no interval, so that no timer runs that the peer does not know of.
    void takeSent(const SessionTimerValues& sent);

    // The session takes the values of a 2xx received to a request that carried sent (RFC 4028
    // section 7.2). A Session-Expires that does not parse counts as absent and is logged.
    void takeSuccess(const SessionTimerValues& sent, HeaderListBase& response, const SessionLogTag& tag);

    // The session timer fires at SessionExpires - 10 s (SessionExpires - SessionExpires / 3
    // below 30 s), the refresh at half the interval when this side refreshes (RFC 4028 section
    // 10), each less elapsedSeconds; both 0 without a negotiated interval.
    SessionTimerInstants instants(std::int64_t elapsedSeconds) const;

private:
    bool timerUsedFor(int peerUse) const;

    SessionTimerParams params_;
};

}  // namespace kel_sip
