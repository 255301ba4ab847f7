#include "kel_sip/usage/SubscriptionHeaders.h"

#include <algorithm>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIntField.h"

namespace kel_sip {

namespace {

HeaderPresence readTyped(SipMessage& message, int kind, SipParam& value) {
    if (!message.hasHeader(kind)) return HeaderPresence::Absent;
    return message.getTypedHeader(kind, value) ? HeaderPresence::Present : HeaderPresence::Invalid;
}

}  // namespace

int expiryMilliseconds(std::int64_t seconds) {
    return static_cast<int>(std::clamp<std::int64_t>(seconds, 0, kMaxExpirySeconds) * 1000);
}

SubscriptionHeaders::SubscriptionHeaders(SipMessage& message) {
    eventPresence = readTyped(message, SipHeader::Event, event);
    statePresence = readTyped(message, SipHeader::SubscriptionState, state);
    SipIntField value;
    expiresPresence = readTyped(message, SipHeader::Expires, value);
    if (expiresPresence == HeaderPresence::Present) expires = value.getValue();
}

const char* SubscriptionHeaders::invalidReason() const {
    if (eventPresence == HeaderPresence::Invalid) return "Invalid Event header";
    if (statePresence == HeaderPresence::Invalid) return "Invalid Subscription-State header";
    if (expiresPresence == HeaderPresence::Invalid) return "Invalid Expires header";
    return nullptr;
}

}  // namespace kel_sip
