// The headers of the event framework (RFC 3265 section 7.2) as a received SUBSCRIBE, REFER,
// NOTIFY or their responses carry them, and the timer length of an expiry a peer gave.
//
// Threads: none shared.
#pragma once

#include <cstdint>

#include "kel_sip/syntax/SipEvent.h"
#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/syntax/SipSubscriptionState.h"

namespace kel_sip {

// The longest timer an expiry becomes, about 23 days: its milliseconds still fit the int a
// timer takes, where a larger Expires (4294968 s and up) would wrap around and fire at once.
inline constexpr std::int64_t kMaxExpirySeconds = 2000000;

// seconds as timer milliseconds, computed in 64 bits and clamped to 0..kMaxExpirySeconds s.
int expiryMilliseconds(std::int64_t seconds);

enum class HeaderPresence { Absent, Invalid, Present };

// Event, Subscription-State and Expires of a received message, each absent, present or
// present but unparsable.
struct SubscriptionHeaders {
    explicit SubscriptionHeaders(SipMessage& message);

    // The reason phrase of the 400 that answers a request with an unparsable header; null when
    // every header present parses.
    const char* invalidReason() const;

    HeaderPresence eventPresence = HeaderPresence::Absent;
    SipEvent event;
    HeaderPresence statePresence = HeaderPresence::Absent;
    SipSubscriptionState state;
    HeaderPresence expiresPresence = HeaderPresence::Absent;
    std::int64_t expires = -1;  // -1 when absent or invalid
};

}  // namespace kel_sip
