#include "kel_sip/usage/SipNotifier.h"

#include <array>

#include "kel_sip/syntax/SipSubscriptionState.h"

namespace kel_sip {

const char* notifierEventString(int event) {
    static constexpr std::array<const char*, 15> kNames = {
        "Subscribed",
        "Referred",
        "Re-Subscribed",
        "Un-Subscribed",
        "Notify failed",
        "Notify transaction timeout",
        "Request transport error",
        "Response transport error",
        "Notify expired",
        "Sent SUBSCRIBE response",
        "Sent SUBSCRIBE error response",
        "Sent REFER response",
        "Sent REFER error response",
        "Sent NOTIFY",
        "Notify confirmed",
    };
    return event >= 0 && event < static_cast<int>(kNames.size()) ? kNames[event] : "Unkown event";
}

namespace {

const char* withState(int subscriptionState, const char* terminated, const char* pending, const char* active,
                      const char* other) {
    switch (subscriptionState) {
        case SipSubscriptionState::Terminated: return terminated;
        case SipSubscriptionState::Pending: return pending;
        case SipSubscriptionState::Active: return active;
        default: return other;
    }
}

}  // namespace

const char* SipNotifier::stateString() const {
    switch (state) {
        case kNotifierIdle: return "Idle";
        case kNotifierSubscribed: return "Subscribed";
        case kNotifierReSubscribed:
            return withState(subscriptionState, "Re-Subscribed (terminated)", "Re-Subscribed (pending)",
                             "Re-Subscribed (active)", "Re-Subscribed");
        case kNotifierConfirmed:
            return withState(subscriptionState, "Subscribed confirmed (terminated)", "Subscribed confirmed (pending)",
                             "Subscribed confirmed (active)", "Subscribed confirmed");
        default: return "Unkown";
    }
}

}  // namespace kel_sip
