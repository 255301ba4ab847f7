// What a controller that carries notifier parts gives them: the expires rules (a default, a
// minimum, and whether every grant is the default), where their events go, and the two
// operations the user agent answers and notifies with. The session controller will derive it
// for the SUBSCRIBE and REFER requests it receives.
//
// Threads: the settings, respondSubscribe and notify may be called from any thread;
// onSipNotifierEvent is called on a worker with the dialog's entry lock held.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipAddress.h"
#include "kel_sip/syntax/SipMessageExt.h"

namespace kel_sip {

class SipNotifierDialogBase;

// The answer to a SUBSCRIBE or REFER (respondSubscribe).
struct SubscribeAnswer {
    int statusCode = 200;                   // 200..699
    const char* reasonPhrase = nullptr;     // the code's own when null
    const SipAddress* contact = nullptr;    // the Contact of the answer and the dialog, when given
    std::int64_t expires = -1;              // granted; -1: as asked, else the default
    const HeaderList* headers = nullptr;
    bool userExpire = false;                // NOTIFY terminated ("timeout") when the grant runs out
};

// A NOTIFY (notify).
struct NotifyContent {
    int subscriptionState = 2;              // SipSubscriptionState::State
    const char* reason = nullptr;           // the Subscription-State reason, when given
    std::string_view body;
    std::string_view contentType;
    const HeaderList* headers = nullptr;
};

class SipNotifierControllerBase {
public:
    virtual ~SipNotifierControllerBase() = default;

    // The expires granted when a request asks for none; -1 = none.
    std::int64_t getDefaultExpires() const noexcept { return defaultExpires_.load(std::memory_order_relaxed); }
    void setDefaultExpires(std::int64_t seconds) noexcept {
        defaultExpires_.store(seconds, std::memory_order_relaxed);
    }
    // A request asking for less than this (when above 0) is answered 423 with Min-Expires.
    std::int64_t getMinExpires() const noexcept { return minExpires_.load(std::memory_order_relaxed); }
    void setMinExpires(std::int64_t seconds) noexcept { minExpires_.store(seconds, std::memory_order_relaxed); }
    // Every expires asked for (but 0) becomes the default.
    bool getAlwaysDefaultExpires() const noexcept { return alwaysDefault_.load(std::memory_order_relaxed); }
    void setAlwaysDefaultExpires(bool on) noexcept { alwaysDefault_.store(on, std::memory_order_relaxed); }

    // Answers the request the notifier of dialog id holds; false when refused.
    bool respondSubscribe(int id, const SubscribeAnswer& answer);
    // A NOTIFY from the notifier of dialog id; false when refused.
    bool notify(int id, const NotifyContent& content);

    // A SipNotifierEvent of dialog, with the message that caused it when there is one. The
    // default logs it.
    virtual void onSipNotifierEvent(int event, SipNotifierDialogBase& dialog, const SipMessageExt* message);

protected:
    // Runs work on the notifier part of dialog id under its entry lock, then ends what has
    // ended; false when there is no such dialog or work fails.
    virtual bool withNotifierDialog(int id, const std::function<bool(SipNotifierDialogBase&)>& work) = 0;

private:
    std::atomic<std::int64_t> defaultExpires_{-1};
    std::atomic<std::int64_t> minExpires_{0};
    std::atomic<bool> alwaysDefault_{false};
};

}  // namespace kel_sip
