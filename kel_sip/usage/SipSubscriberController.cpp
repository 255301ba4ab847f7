#include "kel_sip/usage/SipSubscriberController.h"

#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;

SipSubscriberController::SipSubscriberController(SipTransactionController& controller, kel_util::ClockSource& clock)
    : TransactionUserExt(controller, clock) {
    setName("SipSubscriberController");
}

SipSubscriberController::~SipSubscriberController() { clean(); }

bool SipSubscriberController::init(int workerCount, const char* hostName, bool autoRefresh) {
    setAutoRefresh(autoRefresh);
    return TransactionUserExt::init(workerCount, hostName);
}

int SipSubscriberController::create(const SipDialogStart& start, const Work& work) {
    SipDialogStart filled = start;
    if (filled.callId.empty()) filled.callId = makeCallId(getHostName());
    if (filled.localTag.empty()) filled.localTag = getLocalTag();
    filled.maxForwards = getMaxForwards();
    auto dialog = std::make_unique<SipSubscriberDialog>(*this, *this, controller());
    if (!dialog->createAsCaller(filled)) return 0;
    dialog->setInitialLocalSeqNo(filled.initialLocalSeqNo.value_or(getInitialLocalSeqNo()));
    dialogs_.lock();
    SipDialogListData* entry = dialogs_.addAndLock(std::move(dialog));
    const int id = entry->getId();
    logPrint(DET, "SipSubscriberController::_subscribe. Created dialog, SipDialogIDExt=[%s], id=%d.\n",
             entry->dialog().dialogId().toString().c_str(), id);
    return runOn(entry, nullptr, work) ? id : 0;
}

int SipSubscriberController::subscribe(const SipDialogStart& start, const SubscriptionOrder& order,
                                       const SubscriberSend& send) {
    return create(start, [&](SipSubscriberDialog& dialog) {
        return dialog.createSubscriber(order, false) &&
               dialog.sendSubscribe(order.expires, send.peer, send.guardSeconds);
    });
}

bool SipSubscriberController::reSubscribe(int id, std::int64_t expires) {
    return withDialog(id, [&](SipSubscriberDialog& dialog) { return dialog.sendSubscribe(expires, nullptr, 0); });
}

int SipSubscriberController::refer(const SipDialogStart& start, const SipReferTo& referTo,
                                   const SipReferredBy* referredBy, const SubscriptionOrder& order,
                                   const SubscriberSend& send) {
    return create(start, [&](SipSubscriberDialog& dialog) {
        return dialog.createSubscriber(order, true) && dialog.sendRefer(referTo, referredBy, send.peer);
    });
}

bool SipSubscriberController::withDialog(int id, const Work& work) {
    dialogs_.lock();
    SipDialogListData* entry = dialogs_.getAndLockById(id);
    if (entry == nullptr) {
        dialogs_.unlock();
        logPrint(MIN, "SipSubscriberController::withDialog. No dialog, id=%d.\n", id);
        return false;
    }
    return runOn(entry, nullptr, work);
}

bool SipSubscriberController::runOn(SipDialogListData* entry, EventLockGuard* eventLock, const Work& work) {
    if (eventLock != nullptr) eventLock->release();
    const bool done = work(static_cast<SipSubscriberDialog&>(entry->dialog()));
    funcPostProc(entry);
    dialogs_.unlock();
    return done;
}

void SipSubscriberController::funcPostProc(SipDialogListData* entry) {
    SipDialog& dialog = entry->dialog();
    static_cast<SipSubscriberDialog&>(dialog).checkState();
    const bool ended = dialog.getState() == kDialogIdle;
    if (ended) logPrint(DET, "SipSubscriberController::funcPostProc. Dialog terminated, id=%d.\n", dialog.getId());
    dialogs_.release(entry, ended);
}

bool SipSubscriberController::routeById(const char* procedure, int id, EventLockGuard& eventLock, const Work& work) {
    dialogs_.lock();
    SipDialogListData* entry = dialogs_.getAndLockById(id);
    if (entry == nullptr) {
        eventLock.release();
        dialogs_.unlock();
        logPrint(MIN, "SipSubscriberController::%s. No dialog, id=%d.\n", procedure, id);
        return false;
    }
    return runOn(entry, &eventLock, work);
}

bool SipSubscriberController::onTimeout(int id, int timerName, EventLockGuard& eventLock) {
    return routeById("onTimeout", id, eventLock,
                     [&](SipSubscriberDialog& dialog) { return dialog.onTimeout(timerName); });
}

int SipSubscriberController::procReceiveRequest(SipMessageSlot& request, int serverTransactionId,
                                                EventLockGuard& eventLock) {
    if (request->methodKind != SipMethod::Notify)
        return TransactionUserExt::procReceiveRequest(request, serverTransactionId, eventLock);
    dialogs_.lock();
    eventLock.release();
    SipDialogListData* entry = dialogs_.getAndLockByRequest(*request);
    if (entry == nullptr) {
        dialogs_.unlock();
        logPrint(MIN, "SipSubscriberController::procReceiveRequest. No dialog, Call-ID=[%s].\n",
                 request->callId.c_str());
        sendResponseFromRequest(serverTransactionId, *request, 481, "Subscription does not exist", nullptr, 0);
        return 0;
    }
    runOn(entry, nullptr,
          [&](SipSubscriberDialog& dialog) { return dialog.onReceiveRequest(request, serverTransactionId); });
    return 0;
}

bool SipSubscriberController::procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) {
    return routeById("procReceiveResponse", userId, eventLock,
                     [&](SipSubscriberDialog& dialog) { return dialog.onReceiveResponse(response); });
}

bool SipSubscriberController::procClientTransactionTimeout(SipMessageSlot& request, int userId,
                                                           EventLockGuard& eventLock) {
    return routeById("procClientTransactionTimeout", userId, eventLock,
                     [&](SipSubscriberDialog& dialog) { return dialog.onClientTransactionTimeout(request); });
}

bool SipSubscriberController::procRequestTransportError(SipMessageSlot& request, int userId,
                                                        EventLockGuard& eventLock) {
    return routeById("procRequestTransportError", userId, eventLock,
                     [&](SipSubscriberDialog& dialog) { return dialog.onRequestTransportError(request); });
}

bool SipSubscriberController::procResponseTransportError(SipMessageSlot& response, int parameter,
                                                         EventLockGuard& eventLock) {
    return routeById("procResponseTransportError", parameter, eventLock,
                     [&](SipSubscriberDialog& dialog) { return dialog.onResponseTransportError(response); });
}

}  // namespace kel_sip
