#include "NotifierHost.h"

#include "kel_sip/syntax/SipMethod.h"

namespace kel_sip::test {

namespace {

bool isSubscriptionRequest(int methodKind) { return methodKind == SipMethod::Subscribe || methodKind == SipMethod::Refer; }

}  // namespace

void NotifierHostDialog::clean() {
    SipNotifierDialogBase::clean();
    SipDialog::clean();
}

void NotifierHostDialog::checkState() {
    if (dropIdleNotifier()) setState(kDialogIdle);
}

bool NotifierHostDialog::onReceiveRequest(SipMessageSlot& request, int serverTransactionId) {
    if (!isSubscriptionRequest(request->methodKind)) return SipDialog::onReceiveRequest(request, serverTransactionId);
    return onNotifierRequest(*request, serverTransactionId);
}

bool NotifierHostDialog::onReceiveResponse(SipMessageSlot& response) {
    if (response->cseq.getMethodKind() != SipMethod::Notify) return SipDialog::onReceiveResponse(response);
    return onNotifierResponse(*response);
}

bool NotifierHostDialog::onClientTransactionTimeout(SipMessageSlot& request) {
    if (request->methodKind != SipMethod::Notify) return SipDialog::onClientTransactionTimeout(request);
    return onNotifierTransactionTimeout(*request);
}

bool NotifierHostDialog::onRequestTransportError(SipMessageSlot& request) {
    if (request->methodKind != SipMethod::Notify) return SipDialog::onRequestTransportError(request);
    return onNotifierRequestTransportError(*request);
}

bool NotifierHostDialog::onResponseTransportError(SipMessageSlot& response) {
    if (!isSubscriptionRequest(response->cseq.getMethodKind())) return SipDialog::onResponseTransportError(response);
    return onNotifierResponseTransportError(*response);
}

NotifierHost::NotifierHost(SipTransactionController& controller, kel_util::ClockSource& clock,
                           const std::string& contact)
    : TransactionUserExt(controller, clock) {
    contact_.parse(contact.data(), static_cast<int>(contact.size()), true);
    init(1, "host.test");
    registerMethods({SipMethod::Subscribe, SipMethod::Refer});
}

NotifierHost::~NotifierHost() { clean(); }

void NotifierHost::onSipNotifierEvent(int event, SipNotifierDialogBase& dialog, const SipMessageExt*) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({event, dialog.notifierDialog().getId()});
    changed_.notify_all();
}

std::vector<NotifierHost::Event> NotifierHost::events() {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

bool NotifierHost::waitForEvents(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return events_.size() >= count; });
}

std::string NotifierHost::state(int id) {
    std::string text = "gone";
    route(id, nullptr, [&](NotifierHostDialog& dialog) {
        text = dialog.notifier() != nullptr ? dialog.notifier()->stateString() : "none";
        return true;
    });
    return text;
}

bool NotifierHost::runOn(SipDialogListData* entry, EventLockGuard* eventLock, const Work& work) {
    if (eventLock != nullptr) eventLock->release();
    auto& dialog = static_cast<NotifierHostDialog&>(entry->dialog());
    const bool done = work(dialog);
    dialog.checkState();
    dialogs_.release(entry, dialog.getState() == kDialogIdle);
    dialogs_.unlock();
    return done;
}

bool NotifierHost::route(int id, EventLockGuard* eventLock, const Work& work) {
    dialogs_.lock();
    SipDialogListData* entry = dialogs_.getAndLockById(id);
    if (entry == nullptr) {
        if (eventLock != nullptr) eventLock->release();
        dialogs_.unlock();
        return false;
    }
    return runOn(entry, eventLock, work);
}

bool NotifierHost::withNotifierDialog(int id, const std::function<bool(SipNotifierDialogBase&)>& work) {
    return route(id, nullptr, work);
}

bool NotifierHost::onTimeout(int id, int timerName, EventLockGuard& eventLock) {
    return route(id, &eventLock, [&](NotifierHostDialog& dialog) { return dialog.onTimeout(timerName); });
}

int NotifierHost::procReceiveRequest(SipMessageSlot& request, int serverTransactionId, EventLockGuard& eventLock) {
    if (!isSubscriptionRequest(request->methodKind))
        return TransactionUserExt::procReceiveRequest(request, serverTransactionId, eventLock);
    dialogs_.lock();
    SipDialogListData* entry = nullptr;
    if (request->to.tag.empty()) {
        auto dialog = std::make_unique<NotifierHostDialog>(*this, *this, controller());
        if (!dialog->createFromRequest(*request, kTransportUDP, -1, getMaxForwards(), getLocalTag())) {
            eventLock.release();
            dialogs_.unlock();
            return 400;
        }
        dialog->info().localContact = contact_;
        dialog->setInitialLocalSeqNo(getInitialLocalSeqNo());
        entry = dialogs_.addAndLock(std::move(dialog));
    } else {
        entry = dialogs_.getAndLockByRequest(*request);
    }
    if (entry == nullptr) {
        eventLock.release();
        dialogs_.unlock();
        return 481;
    }
    runOn(entry, &eventLock, [&](NotifierHostDialog& dialog) { return dialog.onReceiveRequest(request, serverTransactionId); });
    return 0;
}

bool NotifierHost::procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) {
    return route(userId, &eventLock, [&](NotifierHostDialog& dialog) { return dialog.onReceiveResponse(response); });
}

bool NotifierHost::procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) {
    return route(userId, &eventLock,
                 [&](NotifierHostDialog& dialog) { return dialog.onClientTransactionTimeout(request); });
}

bool NotifierHost::procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock) {
    return route(userId, &eventLock, [&](NotifierHostDialog& dialog) { return dialog.onRequestTransportError(request); });
}

bool NotifierHost::procResponseTransportError(SipMessageSlot& response, int parameter, EventLockGuard& eventLock) {
    return route(parameter, &eventLock,
                 [&](NotifierHostDialog& dialog) { return dialog.onResponseTransportError(response); });
}

}  // namespace kel_sip::test
