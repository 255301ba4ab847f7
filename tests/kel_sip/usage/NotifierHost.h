// A usage controller for tests that carries notifier parts as the session controller will: a
// SUBSCRIBE or REFER outside a dialog gets a dialog of its own, one inside a dialog goes to
// that dialog's notifier, and the events are recorded for the test to wait on. The test
// plays the user agent: it answers with respondSubscribe and notifies with notify.
//
// Threads: as SipSubscriberController; the test thread calls respondSubscribe and notify.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "kel_sip/transaction/TransactionUserExt.h"
#include "kel_sip/usage/SipDialog.h"
#include "kel_sip/usage/SipDialogList.h"
#include "kel_sip/usage/SipNotifierDialogBase.h"

namespace kel_sip::test {

class NotifierHostDialog : public SipDialog, public SipNotifierDialogBase {
public:
    NotifierHostDialog(TransactionUserExt& owner, SipNotifierControllerBase& controller,
                       SipTransactionController& transactions)
        : SipDialog(owner, transactions), SipNotifierDialogBase(controller) {}

    void clean() override;
    SipDialog& notifierDialog() override { return *this; }
    const SipDialog& notifierDialog() const override { return *this; }
    void checkState() override;

    bool onTimeout(int timerName) override { return onNotifierTimeout(timerName); }
    bool onReceiveRequest(SipMessageSlot& request, int serverTransactionId) override;
    bool onReceiveResponse(SipMessageSlot& response) override;
    bool onClientTransactionTimeout(SipMessageSlot& request) override;
    bool onRequestTransportError(SipMessageSlot& request) override;
    bool onResponseTransportError(SipMessageSlot& response) override;
};

class NotifierHost : public TransactionUserExt, public SipNotifierControllerBase {
public:
    // contact is the Contact of the dialogs it makes.
    NotifierHost(SipTransactionController& controller, kel_util::ClockSource& clock, const std::string& contact);
    ~NotifierHost() override;

    struct Event {
        int event;
        int id;
        bool operator==(const Event&) const = default;
    };
    void onSipNotifierEvent(int event, SipNotifierDialogBase& dialog, const SipMessageExt* message) override;
    std::vector<Event> events();
    // Waits until count events have been recorded; false after limit.
    bool waitForEvents(std::size_t count, std::chrono::milliseconds limit);
    // The notifier's state string of dialog id, "gone" when it has been removed.
    std::string state(int id);

protected:
    bool withNotifierDialog(int id, const std::function<bool(SipNotifierDialogBase&)>& work) override;
    bool onTimeout(int id, int timerName, EventLockGuard& eventLock) override;
    int procReceiveRequest(SipMessageSlot& request, int serverTransactionId, EventLockGuard& eventLock) override;
    bool procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) override;
    bool procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;
    bool procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;
    bool procResponseTransportError(SipMessageSlot& response, int parameter, EventLockGuard& eventLock) override;

private:
    using Work = std::function<bool(NotifierHostDialog&)>;
    // With the list locked (and the eventLock, when given): runs work on the dialog of entry,
    // removes it when it has ended, and unlocks the list.
    bool runOn(SipDialogListData* entry, EventLockGuard* eventLock, const Work& work);
    bool route(int id, EventLockGuard* eventLock, const Work& work);

    SipDialogList dialogs_;
    SipAddress contact_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
};

}  // namespace kel_sip::test
