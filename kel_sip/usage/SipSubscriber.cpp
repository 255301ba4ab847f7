#include "kel_sip/usage/SipSubscriber.h"

#include <array>

#include "kel_sip/syntax/SipSubscriptionState.h"

namespace kel_sip {

const char* subscriberEventString(int event) {
    static constexpr std::array<const char*, 21> kNames = {
        "Subscribe succeeded",
        "Unsubscribe succeeded",
        "Refer succeeded",
        "Subscribe failed",
        "Unsubscribe failed",
        "Refer failed",
        "Subscribe transaction timeout",
        "Unsubscribe transaction timeout",
        "Refer transaction timeout",
        "Request transport error",
        "Response transport error",
        "Notified (terminate)",
        "Notified (pending)",
        "Notified (active)",
        "Subsciption expired",
        "Subsciption refresh",
        "Unsubscribe timeout",
        "Subscribe timeout",
        "Sent SUBSCRIBE",
        "Sent Un-SUBSCRIBE",
        "Sent REFER",
    };
    return event >= 0 && event < static_cast<int>(kNames.size()) ? kNames[event] : "Unkown event";
}

const char* SipSubscriber::stateString() const {
    switch (state) {
        case kSubscriberIdle: return "Idle";
        case kSubscriberSubscribing: return "Subscribing";
        case kSubscriberSubscribed:
            switch (subscriptionState) {
                case SipSubscriptionState::Terminated: return "Subscribed (Terminated)";
                case SipSubscriptionState::Pending: return "Subscribed (Pending)";
                case SipSubscriptionState::Active: return "Subscribed (Active)";
                default: return "Subscribed";
            }
        case kSubscriberUnSubscribing: return "UnSubscribing";
        case kSubscriberUnSubscribed: return "UnSubscribed";
        default: return "Unkown";
    }
}

}  // namespace kel_sip
