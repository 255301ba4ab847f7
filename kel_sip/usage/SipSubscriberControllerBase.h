// What a controller that carries subscriber parts gives them: the AutoRefresh switch, the
// linger of an ended subscription, and where their events go. The subscription controller
// derives it, and so will the session controller for the REFER a call sends.
//
// Threads: the settings may be read and set from any thread; onSipSubscriberEvent is called on
// a worker with the dialog's entry lock held.
#pragma once

#include <atomic>

#include "kel_sip/syntax/SipMessageExt.h"

namespace kel_sip {

class SipSubscriberDialogBase;

class SipSubscriberControllerBase {
public:
    virtual ~SipSubscriberControllerBase() = default;

    // Subscriptions refresh themselves at half their lifetime.
    bool getAutoRefresh() const noexcept { return autoRefresh_.load(std::memory_order_relaxed); }
    void setAutoRefresh(bool on) noexcept { autoRefresh_.store(on, std::memory_order_relaxed); }
    // How long an answered un-SUBSCRIBE keeps its dialog, so that the final NOTIFY still finds it.
    int getUnsubscribeLinger() const noexcept { return lingerMilliseconds_.load(std::memory_order_relaxed); }
    void setUnsubscribeLinger(int milliseconds) noexcept {
        lingerMilliseconds_.store(milliseconds, std::memory_order_relaxed);
    }

    // A SipSubscriberEvent of dialog, with the message that caused it when there is one. The
    // default logs it.
    virtual void onSipSubscriberEvent(int event, SipSubscriberDialogBase& dialog, const SipMessageExt* message);

private:
    std::atomic<bool> autoRefresh_{false};
    std::atomic<int> lingerMilliseconds_{32000};
};

}  // namespace kel_sip
