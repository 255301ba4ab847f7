// The usage controller of subscriptions made outside calls (RFC 3265, RFC 3515): it makes a
// SipSubscriberDialog for each SUBSCRIBE or REFER it is asked to send, hands every NOTIFY,
// answer, time-out and timer of a subscription to its dialog, and removes the dialog when
// the subscription has ended. A NOTIFY that finds no dialog is answered 481; other methods
// 405. Register it with the transaction controller for NOTIFY (registerMethods).
//
// Threads: subscribe, refer and reSubscribe may be called from any thread; the procedures
// run on the workers (TransactionUser.h), each giving up the eventLock once it holds the
// dialog list.
#pragma once

#include <cstdint>
#include <functional>

#include "kel_sip/syntax/SipPeerAddress.h"
#include "kel_sip/transaction/TransactionUserExt.h"
#include "kel_sip/usage/SipDialog.h"
#include "kel_sip/usage/SipDialogList.h"
#include "kel_sip/usage/SipSubscriberControllerBase.h"
#include "kel_sip/usage/SipSubscriberDialog.h"

namespace kel_sip {

// How a subscription's requests are sent.
struct SubscriberSend {
    const SipPeerAddress* peer = nullptr;  // the next hop instead of the route's
    int guardSeconds = 0;                  // above 0: the longest wait for an answer
};

class SipSubscriberController : public TransactionUserExt, public SipSubscriberControllerBase {
public:
    explicit SipSubscriberController(SipTransactionController& controller,
                                     kel_util::ClockSource& clock = kel_util::clockSource());
    ~SipSubscriberController() override;

    // Starts workerCount workers; Call-IDs end in hostName; autoRefresh: see getAutoRefresh.
    bool init(int workerCount, const char* hostName, bool autoRefresh);

    // SUBSCRIBE in a new dialog (start: an empty Call-ID gets a new one, an empty local tag
    // the LocalTag setting or a new tag). The dialog's ID number, 0 on failure.
    int subscribe(const SipDialogStart& start, const SubscriptionOrder& order, const SubscriberSend& send = {});
    // A new SUBSCRIBE in the dialog with this ID number; expires 0 ends the subscription, a
    // negative value repeats the last one.
    bool reSubscribe(int id, std::int64_t expires);
    // REFER in a new dialog; expires is kept with the subscription it makes.
    int refer(const SipDialogStart& start, const SipReferTo& referTo, const SipReferredBy* referredBy,
              const SubscriptionOrder& order, const SubscriberSend& send = {});
    // Runs work on the subscriber dialog with this ID number under its entry lock, then ends
    // the dialog when its subscription has ended; false when there is none.
    bool withDialog(int id, const std::function<bool(SipSubscriberDialog&)>& work);

protected:
    bool onTimeout(int id, int timerName, EventLockGuard& eventLock) override;
    int procReceiveRequest(SipMessageSlot& request, int serverTransactionId, EventLockGuard& eventLock) override;
    bool procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) override;
    bool procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;
    bool procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;
    bool procResponseTransportError(SipMessageSlot& response, int parameter, EventLockGuard& eventLock) override;

private:
    using Work = std::function<bool(SipSubscriberDialog&)>;
    // A new listed dialog for start, with work run on it as withDialog does; its ID number or 0.
    int create(const SipDialogStart& start, const Work& work);
    // With the list locked: releases the eventLock, runs work on entry's dialog and ends it when
    // its subscription has ended; the list is unlocked on return.
    bool runOn(SipDialogListData* entry, EventLockGuard* eventLock, const Work& work);
    bool routeById(const char* procedure, int id, EventLockGuard& eventLock, const Work& work);
    // Ends the dialog of entry when its subscriber has ended, and gives the entry up.
    void funcPostProc(SipDialogListData* entry);

    SipDialogList dialogs_;
};

}  // namespace kel_sip
