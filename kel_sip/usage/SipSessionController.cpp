#include "kel_sip/usage/SipSessionController.h"

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/ExtensionProcessType.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

// Requests that belong to a call's dialog.
bool isDialogMethod(int kind) {
    switch (kind) {
        case SipMethod::Invite: case SipMethod::Ack: case SipMethod::Bye: case SipMethod::Cancel:
        case SipMethod::Info: case SipMethod::Refer: case SipMethod::Update: case SipMethod::Prack:
        case SipMethod::Notify: return true;
        default: return false;
    }
}

// Requests the calls do not handle: passed to the user agent.
bool isPassedMethod(int kind) {
    switch (kind) {
        case SipMethod::Options: case SipMethod::Register: case SipMethod::Subscribe: case SipMethod::Message:
        case SipMethod::Publish: return true;
        default: return false;
    }
}

// Responses that a part of the dialog takes.
bool isDialogResponse(int kind) {
    switch (kind) {
        case SipMethod::Invite: case SipMethod::Info: case SipMethod::Refer: case SipMethod::Update:
        case SipMethod::Prack: case SipMethod::Notify: return true;
        default: return false;
    }
}

// Why a request that creates a dialog cannot: its Contact is the dialog's remote target, so it
// must be one SIP URI (RFC 3261 sections 8.1.1.8 and 12.1.1); null when it can.
const char* contactFault(const SipMessageExt& request) {
    if (!request.hasHeader(SipHeader::Contact)) return "Missing Contact";
    std::vector<SipContact> contacts;
    if (!request.getContacts(contacts, {}) || contacts.empty() || contacts.front().wildcard ||
        !contacts.front().address.uri.isSipUri())
        return "Invalid Contact";
    return nullptr;
}

bool isInviteSuccess(const SipMessageExt& response) {
    return response.cseq.getMethodKind() == SipMethod::Invite && response.statusCode >= 200 &&
           response.statusCode < 300;
}

}  // namespace

SipSessionController::SipSessionController(SipTransactionController& controller, kel_util::ClockSource& clock)
    : TransactionUserExt(controller, clock) {
    setName("SipSessionController");
}

SipSessionController::~SipSessionController() { clean(); }

int SipSessionController::invite(const SipDialogStart& start, const InviteOrder& order, int* state) {
    SipDialogStart filled = start;
    if (filled.callId.empty()) filled.callId = makeCallId(getHostName());
    if (filled.localTag.empty()) filled.localTag = getLocalTag();
    filled.maxForwards = getMaxForwards();
    auto dialog = std::make_unique<SipSessionDialog>(*this, controller());
    if (!dialog->createAsCaller(filled)) {
        logPrint(MIN, "SipSessionController::_invite. Failed to create SipSessionDialog.\n");
        return -1;
    }
    dialog->setInitialLocalSeqNo(filled.initialLocalSeqNo.value_or(getInitialLocalSeqNo()));
    dialogs_.lock();
    SipDialogListData* entry = dialogs_.addAndLock(std::move(dialog));
    const int id = entry->getId();
    logPrint(DET, "SipSessionController::_invite. Created SipSessionDialog, SipDialogIDExt=[%s], id=%d.\n",
             entry->dialog().dialogId().toString().c_str(), id);
    const bool sent =
        runOn(entry, state, [&](SipSessionDialog& d) { return d.createSession().sendInvite(order); });
    return sent ? id : -1;
}

bool SipSessionController::reInvite(int id, const InviteOrder& order, int* state) {
    return callDialog("reInvite", id, nullptr, state, [&](SipSessionDialog& dialog) {
        return dialog.session() != nullptr && dialog.session()->sendReInvite(order);
    });
}

bool SipSessionController::acknowledge(int id, const SessionRequestContent& content, int* state) {
    return callDialog("acknowledge", id, nullptr, state, [&](SipSessionDialog& dialog) {
        return dialog.session() != nullptr && dialog.session()->sendAck(content);
    });
}

bool SipSessionController::respondSession(int id, const SessionResponse& response, int* state) {
    return callDialog("respondSession", id, nullptr, state, [&](SipSessionDialog& dialog) {
        return dialog.session() != nullptr && dialog.session()->respondSession(response);
    });
}

bool SipSessionController::endSession(int id, const HeaderList* headers, int* state, int rejectStatusCode) {
    return callDialog("endSession", id, nullptr, state, [&](SipSessionDialog& dialog) {
        return dialog.session() != nullptr && dialog.session()->endSession(headers, rejectStatusCode);
    });
}

bool SipSessionController::prAcknowledge(int id, const PrAckOrder& order, int* state) {
    return callDialog("prAcknowledge", id, nullptr, state, [&](SipSessionDialog& dialog) {
        return dialog.session() != nullptr && dialog.session()->sendPrAck(order);
    });
}

bool SipSessionController::respondPrAck(int id, const SessionResponse& response, int* state) {
    return callDialog("respondPrAck", id, nullptr, state, [&](SipSessionDialog& dialog) {
        return dialog.session() != nullptr && dialog.session()->sendPrAckResponse(response);
    });
}

bool SipSessionController::update(int id, const UpdateOrder& order, int* state) {
    return callDialog("update", id, nullptr, state, [&](SipSessionDialog& dialog) {
        return dialog.session() != nullptr && dialog.session()->sendUpdate(order);
    });
}

bool SipSessionController::respondUpdate(int id, const SessionResponse& response, int* state) {
    return callDialog("respondUpdate", id, nullptr, state, [&](SipSessionDialog& dialog) {
        return dialog.session() != nullptr && dialog.session()->sendUpdateResponse(response);
    });
}

bool SipSessionController::sendInfoResponse(int id, const SessionResponse& response, int* state) {
    return callDialog("sendInfoResponse", id, nullptr, state, [&](SipSessionDialog& dialog) {
        return dialog.session() != nullptr && dialog.session()->sendInfoResponse(response);
    });
}

std::size_t SipSessionController::getDialogCount() {
    dialogs_.lock();
    const std::size_t count = dialogs_.size();
    dialogs_.unlock();
    return count;
}

void SipSessionController::setTimerT1(int milliseconds) noexcept {
    if (milliseconds > 0) timerT1_.store(milliseconds, std::memory_order_relaxed);
}

void SipSessionController::setTerm100relProcessType(int type) noexcept {
    term100relProcessType_.store(knownProcessType(type), std::memory_order_relaxed);
}

void SipSessionController::setTermSessionTimerProcessType(int type) noexcept {
    termSessionTimerProcessType_.store(knownProcessType(type), std::memory_order_relaxed);
}

void SipSessionController::setMinSE(int seconds) noexcept {
    if (seconds >= 0) minSE_.store(seconds, std::memory_order_relaxed);
}

void SipSessionController::setSessionTimerStartType(int type) noexcept {
    sessionTimerStartType_.store(type >= 0 && type <= 2 ? type : 0, std::memory_order_relaxed);
}

SessionTimerParams SipSessionController::getSessionTimerDefaults() const noexcept {
    SessionTimerParams params;
    params.processSessionTimer = processSessionTimer_.load(std::memory_order_relaxed);
    params.processType = termSessionTimerProcessType_.load(std::memory_order_relaxed);
    params.minSE = minSE_.load(std::memory_order_relaxed);
    params.startType = sessionTimerStartType_.load(std::memory_order_relaxed);
    params.useUpdateSessionRefresh = useUpdateRefresh_.load(std::memory_order_relaxed);
    params.forceRequireTimer = forceRequireTimer_.load(std::memory_order_relaxed);
    return params;
}

bool SipSessionController::sendDialogRequest(int id, std::string_view method, std::string_view body,
                                             std::string_view contentType, const HeaderList* headers) {
    return callDialog("sendDialogRequest", id, nullptr, nullptr, [&](SipSessionDialog& dialog) {
        return dialog.sendDialogRequest(method, body, contentType, headers);
    });
}

bool SipSessionController::setLocalContent(int id, std::string_view body, std::string_view contentType) {
    return callDialog("setLocalContent", id, nullptr, nullptr, [&](SipSessionDialog& dialog) {
        if (dialog.session() == nullptr) return false;
        dialog.session()->setLocalContent(body, contentType);
        return true;
    });
}

bool SipSessionController::refer(int id, const SipReferTo& referTo, const SipReferredBy* referredBy,
                                 const SubscriptionOrder& order) {
    return callDialog("refer", id, nullptr, nullptr, [&](SipSessionDialog& dialog) {
        return dialog.createSubscriber(order, true) && dialog.sendRefer(referTo, referredBy, nullptr);
    });
}

bool SipSessionController::withNotifierDialog(int id, const std::function<bool(SipNotifierDialogBase&)>& work) {
    return callDialog("withNotifierDialog", id, nullptr, nullptr,
                      [&](SipSessionDialog& dialog) { return work(dialog); });
}

bool SipSessionController::onSipSessionControllerEvent(int event, const SipMessageExt& message,
                                                       int serverTransactionId) {
    const std::string method(message.isRequest ? message.getMethodName() : message.cseq.getMethodName());
    logPrint(DET, "SipSessionController::onSipSessionControllerEvent. %s, Method=[%s], ServerTransactionID=%d.\n",
             sessionControllerEventString(event), method.c_str(), serverTransactionId);
    return false;
}

bool SipSessionController::onSipSessionDialogEvent(int event, SipSessionDialog& dialog, const SipMessageExt& message) {
    const std::string method(message.isRequest ? message.getMethodName() : message.cseq.getMethodName());
    logPrint(DET, "SipSessionController::onSipSessionDialogEvent. %s, Method=[%s], id=%d.\n",
             sessionControllerEventString(event), method.c_str(), dialog.getId());
    return false;
}

bool SipSessionController::onSipSessionEvent(int event, SipSession& session, const SipMessageExt*, int) {
    logPrint(DET, "SipSessionController::onSipSessionEvent. SipSessionEvent, EventType=[%s](%d), State=[%s], id=%d.\n",
             sessionEventString(event), event, session.getStateString(), session.dialog().getId());
    return true;
}

bool SipSessionController::withDialog(int id, const Work& work) {
    return callDialog("withDialog", id, nullptr, nullptr, work);
}

void SipSessionController::onSipSessionSubscriberEvent(int event, SipSessionDialog& dialog,
                                                       const SipMessageExt* message) {
    SipSubscriberControllerBase::onSipSubscriberEvent(event, dialog, message);
}

void SipSessionController::onSipSessionNotifierEvent(int event, SipSessionDialog& dialog,
                                                     const SipMessageExt* message) {
    SipNotifierControllerBase::onSipNotifierEvent(event, dialog, message);
}

void SipSessionController::onSipSubscriberEvent(int event, SipSubscriberDialogBase& dialog,
                                                const SipMessageExt* message) {
    onSipSessionSubscriberEvent(event, static_cast<SipSessionDialog&>(dialog), message);
}

void SipSessionController::onSipNotifierEvent(int event, SipNotifierDialogBase& dialog, const SipMessageExt* message) {
    onSipSessionNotifierEvent(event, static_cast<SipSessionDialog&>(dialog), message);
}

bool SipSessionController::callDialog(const char* operation, int id, EventLockGuard* eventLock, int* state,
                                      const Work& work) {
    dialogs_.lock();
    if (eventLock != nullptr) eventLock->release();
    SipDialogListData* entry = dialogs_.getAndLockById(id);
    if (entry == nullptr) {
        dialogs_.unlock();
        logPrint(MIN, "SipSessionController::%s. Dialog not found, id=%d.\n", operation, id);
        return false;
    }
    return runOn(entry, state, work);
}

bool SipSessionController::runOn(SipDialogListData* entry, int* state, const Work& work) {
    auto& dialog = static_cast<SipSessionDialog&>(entry->dialog());
    const bool done = work(dialog);
    if (state != nullptr) *state = dialog.session() != nullptr ? dialog.session()->getState() : kSessionIdle;
    funcPostProc(entry);
    dialogs_.unlock();
    return done;
}

void SipSessionController::funcPostProc(SipDialogListData* entry) {
    auto& dialog = static_cast<SipSessionDialog&>(entry->dialog());
    dialog.checkState();
    const bool ended = dialog.getState() == kDialogIdle;
    if (ended) logPrint(DET, "SipSessionController::funcPostProc. Dialog terminated, id=%d.\n", dialog.getId());
    dialogs_.release(entry, ended);
}

bool SipSessionController::onTimeout(int id, int timerName, EventLockGuard& eventLock) {
    return callDialog("onTimeout", id, &eventLock, nullptr,
                      [&](SipSessionDialog& dialog) { return dialog.onTimeout(timerName); });
}

int SipSessionController::procReceiveRequest(SipMessageSlot& request, int serverTransactionId,
                                             EventLockGuard& eventLock) {
    const int kind = request->methodKind;
    if (!isDialogMethod(kind) && !isPassedMethod(kind))
        return TransactionUserExt::procReceiveRequest(request, serverTransactionId, eventLock);
    // A CANCEL names the INVITE server transaction it ends (RFC 3261 section 9.2).
    const int canceled = kind == SipMethod::Cancel ? controller().findTrancsactionToCancel(*request) : -1;
    dialogs_.lock();
    eventLock.release();
    SipDialogListData* entry =
        kind == SipMethod::Cancel ? findCanceled(*request, canceled) : dialogs_.getAndLockByRequest(*request);
    if (entry == nullptr) return onRequestWithoutDialog(request, serverTransactionId);
    bool done = false;
    runOn(entry, nullptr, [&](SipSessionDialog& dialog) {
        done = isPassedMethod(kind) ? onSipSessionDialogEvent(kControllerUndefinedRequest, dialog, *request)
                                    : dialog.onReceiveRequest(request, serverTransactionId);
        return done;
    });
    // Nobody answers an ACK (RFC 3261 section 17.1.1.3).
    if (done || kind == SipMethod::Ack) return 0;
    return 500;
}

SipDialogListData* SipSessionController::findCanceled(const SipMessageExt& cancel, int canceledTransactionId) {
    if (canceledTransactionId < 0) return nullptr;
    return dialogs_.getAndLockMatching(cancel.callId, [&](SipDialog& dialog) {
        SipSession* session = static_cast<SipSessionDialog&>(dialog).session();
        return session != nullptr && session->invited() != nullptr &&
               session->invited()->serverTransactionId == canceledTransactionId;
    });
}

int SipSessionController::onRequestWithoutDialog(SipMessageSlot& request, int serverTransactionId) {
    const int kind = request->methodKind;
    if (kind == SipMethod::Ack) {
        dialogs_.unlock();
        logPrint(DBG, "SipSessionController::procReceiveRequest. ACK for no dialog dropped, Call-ID=[%s].\n",
                 request->callId.c_str());
        return 0;
    }
    if (isPassedMethod(kind)) {
        dialogs_.unlock();
        return onSipSessionControllerEvent(kControllerUndefinedRequest, *request, serverTransactionId) ? 0 : 405;
    }
    const bool creates = (kind == SipMethod::Invite && request->to.tag.empty()) || kind == SipMethod::Refer;
    if (!creates) {
        dialogs_.unlock();
        if (kind == SipMethod::Invite)
            logPrint(MIN, "SipSessionController::procReceiveRequest. Received reInvite with no dialog, toTag=[%s].\n",
                     request->to.tag.c_str());
        return 481;
    }
    return createForRequest(request, serverTransactionId);
}

int SipSessionController::createForRequest(SipMessageSlot& request, int serverTransactionId) {
    const int limit = getMaxDialogs();
    if (limit > 0 && dialogs_.size() >= static_cast<std::size_t>(limit)) {
        dialogs_.unlock();
        logPrint(MIN,
                 "SipSessionController::procReceiveRequest. Failed to create SipSessionDialog, too many "
                 "SipSessionDialogs=%d.\n",
                 limit);
        return 480;
    }
    if (const char* fault = contactFault(*request)) {
        dialogs_.unlock();
        return rejectBadRequest(*request, serverTransactionId, fault);
    }
    auto dialog = std::make_unique<SipSessionDialog>(*this, controller());
    const int transport = request->transportType >= 0 ? request->transportType : getDefaultTransport();
    std::string localTag = getLocalTag();
    if (localTag.empty()) localTag = request->to.tag;
    if (!dialog->createFromRequest(*request, transport, request->transportId, getMaxForwards(), localTag)) {
        dialogs_.unlock();
        // The Contact passed above: what is left to fail is the Record-Route.
        return rejectBadRequest(*request, serverTransactionId, "Invalid Record-Route");
    }
    dialog->setInitialLocalSeqNo(getInitialLocalSeqNo());
    SipDialogListData* entry = dialogs_.addAndLock(std::move(dialog));
    logPrint(DET, "SipSessionController::procReceiveRequest. Created SipSessionDialog SipDialogIDExt=[%s], id=%d.\n",
             entry->dialog().dialogId().toString().c_str(), entry->getId());
    const bool done = runOn(entry, nullptr, [&](SipSessionDialog& d) {
        return d.onReceiveRequest(request, serverTransactionId);
    });
    return done ? 0 : 500;
}

int SipSessionController::rejectBadRequest(const SipMessageExt& request, int serverTransactionId, const char* fault) {
    logPrint(MIN, "SipSessionController::procReceiveRequest. Failed to create SipSessionDialog, %s, Call-ID=[%s].\n",
             fault, request.callId.c_str());
    std::unique_ptr<SipMessageExt> response = request.createResponse(400, nullptr, fault, false);
    if (response->to.tag.empty()) response->to.tag = makeTag();
    if (!sendResponse(serverTransactionId, *response, 0))
        logPrint(MIN, "SipSessionController::procReceiveRequest. Failed sendResponse, StatusCode=400.\n");
    return 0;
}

bool SipSessionController::procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) {
    dialogs_.lock();
    eventLock.release();
    SipDialogListData* entry = nullptr;
    if (userId >= 1) {
        entry = dialogs_.getAndLockById(userId);
    } else if (isInviteSuccess(*response)) {
        // A repeated 2xx, or one from another fork, after the INVITE transaction ended.
        entry = dialogs_.getAndLockByTags(response->from.tag, response->to.tag, response->callId);
    }
    if (entry == nullptr) {
        dialogs_.unlock();
        if (isInviteSuccess(*response)) return onStraySuccess(*response);
        onSipSessionControllerEvent(kControllerUndefinedResponse, *response, -1);
        return true;
    }
    const int kind = response->cseq.getMethodKind();
    if (!isDialogResponse(kind)) {
        // BYE and the free-form requests' answers: the user agent may look at them.
        runOn(entry, nullptr, [&](SipSessionDialog& dialog) {
            return onSipSessionDialogEvent(kControllerUndefinedResponse, dialog, *response);
        });
        return true;
    }
    return runOn(entry, nullptr, [&](SipSessionDialog& dialog) { return dialog.onReceiveResponse(response); });
}

bool SipSessionController::onStraySuccess(const SipMessageExt& response) {
    logPrint(DET, "SipSessionController::procReceiveResponse. 2xx for no dialog, sending ACK and BYE, Call-ID=[%s].\n",
             response.callId.c_str());
    const std::optional<SipPeerAddress> outbound = getOutboundPeer();
    ByeFromResponse how;
    how.sendAckFirst = true;
    how.defaultTransport = getDefaultTransport();
    how.outboundPeer = outbound ? &*outbound : nullptr;
    return sendByeFromResponse(response, how);
}

bool SipSessionController::procClientTransactionTimeout(SipMessageSlot& request, int userId,
                                                        EventLockGuard& eventLock) {
    return callDialog("procClientTransactionTimeout", userId, &eventLock, nullptr,
                     [&](SipSessionDialog& dialog) { return dialog.onClientTransactionTimeout(request); });
}

bool SipSessionController::procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock) {
    return callDialog("procRequestTransportError", userId, &eventLock, nullptr,
                     [&](SipSessionDialog& dialog) { return dialog.onRequestTransportError(request); });
}

bool SipSessionController::procResponseTransportError(SipMessageSlot& response, int parameter,
                                                      EventLockGuard& eventLock) {
    return callDialog("procResponseTransportError", parameter, &eventLock, nullptr,
                     [&](SipSessionDialog& dialog) { return dialog.onResponseTransportError(response); });
}

}  // namespace kel_sip
