// The subscriber of one subscription (RFC 3265 section 3.1, RFC 3515 for REFER): its state,
// the subscription's event, expiry and outstanding request, and which of its timers run.
//
// Threads: touched only under the entry lock of the dialog that owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipEvent.h"
#include "kel_util/Clock.h"

namespace kel_sip {

enum SipSubscriberState : int {
    kSubscriberIdle = 0,
    kSubscriberSubscribing = 1,
    kSubscriberSubscribed = 2,
    kSubscriberUnSubscribing = 3,
    kSubscriberUnSubscribed = 4,
};

// The timers of a subscriber, started with its dialog's ID number.
enum SipSubscriberTimer : int {
    kTimerSubscribeExpire = 20,
    kTimerSubscribeRefresh = 21,
    kTimerUnSubscribe = 22,  // the linger after an un-SUBSCRIBE was answered
    kTimerSubscribeGuard = 23,
};

// The events a subscriber reports to its controller.
enum SipSubscriberEvent : int {
    kSubscribeSucceeded = 0,
    kUnsubscribeSucceeded = 1,
    kReferSucceeded = 2,
    kSubscribeFailed = 3,
    kUnsubscribeFailed = 4,
    kReferFailed = 5,
    kSubscribeTransactionTimeout = 6,
    kUnsubscribeTransactionTimeout = 7,
    kReferTransactionTimeout = 8,
    kSubscriberRequestTransportError = 9,
    kSubscriberResponseTransportError = 10,
    kNotifiedTerminate = 11,
    kNotifiedPending = 12,
    kNotifiedActive = 13,
    kSubscriptionExpired = 14,
    kSubscriptionRefresh = 15,
    kUnsubscribeTimeout = 16,
    kSubscribeTimeout = 17,
    kSentSubscribe = 18,
    kSentUnSubscribe = 19,
    kSentRefer = 20,
};

// The event's name as logged; "Unkown event" for another number.
const char* subscriberEventString(int event);

struct SipSubscriber {
    // "Idle", "Subscribing", "Subscribed (Terminated|Pending|Active)" (plain "Subscribed" for
    // another Subscription-State), "UnSubscribing", "UnSubscribed"; "Unkown" otherwise.
    const char* stateString() const;

    int state = kSubscriberIdle;
    int subscriptionState = -1;  // SipSubscriptionState::State of the last NOTIFY
    std::int64_t expires = -1;   // seconds; -1 = none asked for
    SipEvent event;              // package, id and parameters
    bool referMode = false;      // made by REFER: the package is "refer"
    std::optional<std::string> accept;
    int clientTransactionId = -1;
    std::unique_ptr<HeaderList> headers;  // added to every SUBSCRIBE and REFER
    bool expireTimer = false;
    bool refreshTimer = false;
    bool guardTimer = false;
    kel_util::ClockSource::TimePoint confirmedAt{};  // the last 2xx: start of the current expiry
};

}  // namespace kel_sip
