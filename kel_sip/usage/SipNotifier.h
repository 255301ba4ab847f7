// The notifier of one subscription (RFC 3265 section 3.2, RFC 3515 for REFER): its state, what
// it granted, and the addressing of the SUBSCRIBE or REFER it has still to answer.
//
// Threads: touched only under the entry lock of the dialog that owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "kel_sip/syntax/SipCSeq.h"
#include "kel_sip/syntax/SipEvent.h"
#include "kel_sip/syntax/SipVia.h"
#include "kel_sip/usage/SipDialogInfo.h"
#include "kel_util/Clock.h"

namespace kel_sip {

enum SipNotifierState : int {
    kNotifierIdle = 0,
    kNotifierSubscribed = 1,    // a request received, not yet answered
    kNotifierReSubscribed = 2,  // a refresh received, not yet answered
    kNotifierConfirmed = 3,     // answered
};

// The notifier's timer, started with its dialog's ID number.
inline constexpr int kTimerNotifierExpire = 30;

enum SipNotifierEvent : int {
    kSubscribed = 0,
    kReferred = 1,
    kReSubscribed = 2,
    kUnSubscribed = 3,
    kNotifyFailed = 4,
    kNotifyTransactionTimeout = 5,
    kNotifierRequestTransportError = 6,
    kNotifierResponseTransportError = 7,
    kNotifyExpired = 8,
    kSentSubscribeResponse = 9,
    kSentSubscribeErrorResponse = 10,
    kSentReferResponse = 11,
    kSentReferErrorResponse = 12,
    kSentNotify = 13,
    kNotifyConfirmed = 14,
};

// The event's name as logged; "Unkown event" for another number.
const char* notifierEventString(int event);

// The addressing of the request being answered and the expires it asked for.
struct SubscribedData : SipDialogInfo {
    std::vector<SipVia> vias;
    SipCSeq cseq;
    std::int64_t expiresAsked = -1;
};

struct SipNotifier {
    // "Idle", "Subscribed", "Re-Subscribed (terminated|pending|active)", "Subscribed confirmed
    // (terminated|pending|active)"; "Unkown" otherwise.
    const char* stateString() const;

    int state = kNotifierIdle;
    int subscriptionState = -1;  // the last Subscription-State sent (SipSubscriptionState::State)
    std::int64_t expires = -1;   // seconds granted
    bool referMode = false;
    SipEvent event;              // package and id
    bool userExpire = false;     // the notifier ends the subscription itself when it expires
    bool expireTimer = false;
    kel_util::ClockSource::TimePoint acceptedAt{};
    std::unique_ptr<SubscribedData> data;
};

}  // namespace kel_sip
