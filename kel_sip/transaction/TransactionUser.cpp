#include "kel_sip/transaction/TransactionUser.h"

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipTransportType.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MAJ;
using kel_util::MIN;
using kel_util::ScopedLock;

namespace {

// The transaction events with their names in log lines and the procedures they run.
struct TransactionEvent {
    int type;
    const char* name;
    const char* procedure;
};

constexpr TransactionEvent kTransactionEvents[] = {
    {SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST, "SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST", "onReceiveRequest"},
    {SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, "SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE", "onReceiveResponse"},
    {SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT, "SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT",
     "onClientTransactionTimeout"},
    {SIPTRANSACTION_EVMSGTYPE_SERVERTRANSACTIONTIMEOUT, "SIPTRANSACTION_EVMSGTYPE_SERVERTRANSACTIONTIMEOUT",
     "onServerTransactionTimeout"},
    {SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR, "SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR",
     "onRequestTransportError"},
    {SIPTRANSACTION_EVMSGTYPE_RESPONSETRANSPORTERROR, "SIPTRANSACTION_EVMSGTYPE_RESPONSETRANSPORTERROR",
     "onResponseTransportError"},
};

const TransactionEvent* findTransactionEvent(int type) {
    for (const TransactionEvent& event : kTransactionEvents) {
        if (event.type == type) return &event;
    }
    return nullptr;
}

std::string methodOf(const SipMessageExt& message) { return std::string(message.getMethodName()); }

}  // namespace

TransactionUser::TransactionUser(SipTransactionController& controller, kel_util::ClockSource& clock)
    : EventHandlerExt2(clock), controller_(controller) {
    setName("TransactionUser");
}

TransactionUser::~TransactionUser() { clean(); }

bool TransactionUser::init(int workerCount) {
    if (!EventHandlerExt2::init(workerCount)) {
        logPrint(MAJ, "TransactionUser::init. Failed to init TransactionUser.\n");
        return false;
    }
    return true;
}

void TransactionUser::clean() { EventHandlerExt2::clean(); }

bool TransactionUser::startProc(int workerId) {
    logPrint(DBG, "TransactionUser::startProc. Starting TransactionUser, WorkerID=%d.\n", workerId);
    return true;
}

void TransactionUser::endProc(int workerId) {
    logPrint(DBG, "TransactionUser::endProc. Stopping TransactionUser, WorkerID=%d.\n", workerId);
}

bool TransactionUser::registerMethods(const std::vector<int>& methodKinds) {
    {
        ScopedLock<kel_util::Mutex> guard(allowedMutex_);
        for (const int kind : methodKinds) allowed_.set(kind);
    }
    if (controller_.addTransactionUser(methodKinds, this)) return true;
    logPrint(MIN, "TransactionUser::registerMethods. Failed addTransactionUser.\n");
    return false;
}

SipMethodList TransactionUser::getAllowedMethods() const {
    ScopedLock<kel_util::Mutex> guard(allowedMutex_);
    return allowed_;
}

int TransactionUser::sendRequest(const SipMessageExt& request, int userId) {
    // A user that takes no more events would never hear of the transaction again.
    if (!isAccepting()) {
        logPrint(MIN, "TransactionUser::sendRequest. TransactionUser not running, Method=[%s], id=%d.\n",
                 methodOf(request).c_str(), userId);
        return -1;
    }
    return controller_.sendRequest(request, userId, this);
}

bool TransactionUser::sendResponse(int serverTransactionId, const SipMessageExt& response, int parameter) {
    return controller_.sendResponse(serverTransactionId, response, parameter);
}

bool TransactionUser::sendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) {
    return controller_.sendResponse(response, parameter, notifyFailureAck);
}

std::unique_ptr<SipMessageExt> TransactionUser::makeResponse(const SipMessageExt& request, int statusCode,
                                                             const char* reasonPhrase, const char* toTag) const {
    std::unique_ptr<SipMessageExt> response = request.createResponse(statusCode, reasonPhrase, false);
    if (response->to.tag.empty()) response->to.tag = toTag != nullptr ? std::string(toTag) : makeTag();
    return response;
}

void TransactionUser::addAllowIfNeeded(SipMessageExt& response) const {
    // RFC 3261 section 8.2.1: a 405 lists the methods this side does accept.
    if (response.statusCode != 405 || response.hasHeader(SipHeader::Allow)) return;
    response.addTypedHeader(SipHeader::Allow, getAllowedMethods());
}

bool TransactionUser::sendResponseFromRequest(int serverTransactionId, const SipMessageExt& request, int statusCode,
                                              const char* reasonPhrase, const char* toTag, int parameter) {
    std::unique_ptr<SipMessageExt> response = makeResponse(request, statusCode, reasonPhrase, toTag);
    addAllowIfNeeded(*response);
    if (sendResponse(serverTransactionId, *response, parameter)) return true;
    logPrint(MIN, "TransactionUser::sendResponseFromRequest. Failed sendResponse.\n");
    return false;
}

bool TransactionUser::sendResponseFromRequest(const SipMessageExt& request, int statusCode, const char* reasonPhrase,
                                              const ResponseContent& content, const char* toTag, int parameter) {
    std::unique_ptr<SipMessageExt> response = makeResponse(request, statusCode, reasonPhrase, toTag);
    if (!content.body.empty()) {
        response->setBody(content.body.data(), static_cast<int>(content.body.size()));
        response->contentType = content.contentType.empty() ? "application/sdp" : std::string(content.contentType);
    }
    if (content.headers != nullptr) response->addHeaders(*content.headers);
    addAllowIfNeeded(*response);
    if (sendResponse(*response, parameter, false)) return true;
    logPrint(MIN, "TransactionUser::sendResponseFromRequest. Failed sendResponse.\n");
    return false;
}

std::string TransactionUser::createBranch() {
    std::string branch;
    controller_.createBranch(branch);
    return branch;
}

int TransactionUser::sendWithNewBranch(SipMessageExt& request, int parameter) {
    request.vias.front().setBranch(createBranch());
    return sendRequest(request, parameter);
}

bool TransactionUser::sendByeFromResponse(const SipMessageExt& response, const ByeFromResponse& how) {
    const int firstKind = how.sendAckFirst ? SipMethod::Ack : SipMethod::Bye;
    std::unique_ptr<SipMessageExt> request =
        SipMessageExt::createRequestFromResponse(firstKind, response, nullptr, 0, getMaxForwards(), false);
    if (!request) {
        logPrint(MIN, "TransactionUser::sendByeFromResponse. Failed createRequestFromResponse.\n");
        return false;
    }
    if (!how.sendAckFirst) request->cseq.setNumber(request->cseq.getNumber() + kCSeqStep);
    if (request->transportType == kTransportNone) request->transportType = how.defaultTransport;
    request->vias.insert(request->vias.begin(), SipVia(transportName(request->transportType), SipHostPort()));
    if (how.outboundPeer != nullptr) {
        if (how.outboundPeer->empty()) {
            logPrint(MIN, "TransactionUser::sendByeFromResponse. Failed setPeer, HostPort=[%s].\n",
                     how.outboundPeer->toString().c_str());
            return false;
        }
        request->peer = *how.outboundPeer;
    } else if (!request->setMessagePeer()) {
        const bool strictRouting = !response.recordRoutes.empty() && !response.recordRoutes.back().address.uri.lr;
        logPrint(MIN, "TransactionUser::sendByeFromResponse. Failed setRequestPeer, StrictRouting=%d.\n",
                 strictRouting ? 1 : 0);
        return false;
    }
    int result = sendWithNewBranch(*request, how.parameter);
    if (result < 0) {
        logPrint(MIN, "TransactionUser::sendByeFromResponse. Failed sendRequest, result=%d, Method=[%s].\n", result,
                 methodOf(*request).c_str());
        return false;
    }
    if (!how.sendAckFirst) return true;
    request->setMethod(SipMethod::Bye);
    request->cseq.setMethod(SipMethod::Bye);
    request->cseq.setNumber(request->cseq.getNumber() + kCSeqStep);
    result = sendWithNewBranch(*request, how.parameter);
    if (result < 1) {
        logPrint(MIN, "TransactionUser::sendByeFromResponse. Failed sendRequest, result=%d, Method=[%s].\n", result,
                 methodOf(*request).c_str());
        return false;
    }
    return true;
}

void TransactionUser::onEvent(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                              const void* from) {
    const TransactionEvent* event = findTransactionEvent(type);
    if (event == nullptr) {
        EventHandlerExt2::onEvent(workerId, type, param1, param2, param3, from);
        return;
    }
    // The event owns the message; what the procedure leaves in the slot is freed on return,
    // after the guard has given up the eventLock (declared later, it ends first).
    SipMessageSlot message(reinterpret_cast<SipMessageExt*>(param1));
    EventLockGuard eventLock(*this);
    logPrint(DBG, "TransactionUser::onEvent. Event %s, WorkerID=%d, type=%d, param1=%p, param2=%d, param3=%d, from=%p.\n",
             event->name, workerId, type, static_cast<const void*>(message.get()), static_cast<int>(param2),
             static_cast<int>(param3), from);
    if (!message) {
        logPrint(MIN, "TransactionUser::onEvent. No message, type=%d.\n", type);
        return;
    }
    if (!dispatchTransactionEvent(type, message, static_cast<int>(param2), static_cast<int>(param3), eventLock)) {
        logPrint(MIN, "TransactionUser::onEvent. Failed %s.\n", event->procedure);
    }
}

bool TransactionUser::dispatchTransactionEvent(int type, SipMessageSlot& message, int transactionId, int userId,
                                               EventLockGuard& eventLock) {
    switch (type) {
        case SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST:
            return onReceiveRequest(message, transactionId, eventLock);
        case SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE:
            return onReceiveResponse(message, transactionId, userId, eventLock);
        case SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT:
            return onClientTransactionTimeout(message, transactionId, userId, eventLock);
        case SIPTRANSACTION_EVMSGTYPE_SERVERTRANSACTIONTIMEOUT:
            return onServerTransactionTimeout(message, transactionId, userId, eventLock);
        case SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR:
            return onRequestTransportError(message, transactionId, userId, eventLock);
        default:
            return onResponseTransportError(message, transactionId, userId, eventLock);
    }
}

void TransactionUser::onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                                   const void* from) {
    const TransactionEvent* event = findTransactionEvent(type);
    if (event == nullptr) {
        EventHandlerExt2::onEventClean(workerId, type, param1, param2, param3, from);
        return;
    }
    logPrint(DBG,
             "TransactionUser::onEventClean. Event %s, WorkerID=%d, type=%d, param1=%p, param2=%d, param3=%d, "
             "from=%p.\n",
             event->name, workerId, type, reinterpret_cast<const void*>(param1), static_cast<int>(param2),
             static_cast<int>(param3), from);
    releaseEventLock();
    delete reinterpret_cast<SipMessageExt*>(param1);
}

bool TransactionUser::onReceiveRequest(SipMessageSlot& message, int serverTransactionId, EventLockGuard& eventLock) {
    eventLock.release();
    logPrint(MIN, "TransactionUser::onReceiveRequest. Invalid request, Method=[%s](%d), ServerTransactionID=%d.\n",
             methodOf(*message).c_str(), message->methodKind, serverTransactionId);
    return false;
}

bool TransactionUser::refuseEvent(const char* where, const SipMessageExt& message, const char* transactionKind,
                                  int transactionId, int id, EventLockGuard& eventLock) {
    eventLock.release();
    if (transactionKind == nullptr) {
        logPrint(MIN, "%s. Invalid message, StatusCode=%d, Method=[%s](%d), id=%d.\n", where, message.statusCode,
                 methodOf(message).c_str(), message.cseq.getMethodKind(), id);
    } else {
        logPrint(MIN, "%s. Invalid message, StatusCode=%d, Method=[%s](%d), %sID=%d, id=%d.\n", where,
                 message.statusCode, methodOf(message).c_str(), message.cseq.getMethodKind(), transactionKind,
                 transactionId, id);
    }
    return false;
}

bool TransactionUser::onReceiveResponse(SipMessageSlot& message, int clientTransactionId, int userId,
                                        EventLockGuard& eventLock) {
    return refuseEvent("TransactionUser::onReceiveResponse", *message, "ClientTransaction", clientTransactionId, userId,
                       eventLock);
}

bool TransactionUser::onClientTransactionTimeout(SipMessageSlot& message, int clientTransactionId, int userId,
                                                 EventLockGuard& eventLock) {
    return refuseEvent("TransactionUser::onClientTransactionTimeout", *message, "ClientTransaction",
                       clientTransactionId, userId, eventLock);
}

bool TransactionUser::onServerTransactionTimeout(SipMessageSlot& message, int serverTransactionId, int parameter,
                                                 EventLockGuard& eventLock) {
    eventLock.release();
    logPrint(DBG,
             "TransactionUser::onServerTransactionTimeout. ServerTransactionTimeout ignored, Method=[%s], "
             "ServerTransactionID=%d, param=%d.\n",
             methodOf(*message).c_str(), serverTransactionId, parameter);
    message.reset();
    return true;
}

bool TransactionUser::onRequestTransportError(SipMessageSlot& message, int clientTransactionId, int userId,
                                              EventLockGuard& eventLock) {
    return refuseEvent("TransactionUser::onRequestTransportError", *message, "ClientTransaction", clientTransactionId,
                       userId, eventLock);
}

bool TransactionUser::onResponseTransportError(SipMessageSlot& message, int serverTransactionId, int parameter,
                                               EventLockGuard& eventLock) {
    return refuseEvent("TransactionUser::onResponseTransportError", *message, "ServerTransaction",
                       serverTransactionId, parameter, eventLock);
}

}  // namespace kel_sip
