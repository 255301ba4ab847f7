#include "kel_sip/transaction/TransactionUserExt.h"

#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;
using kel_util::ScopedLock;

TransactionUserExt::TransactionUserExt(SipTransactionController& controller, kel_util::ClockSource& clock)
    : TransactionUser(controller, clock) {}

TransactionUserExt::~TransactionUserExt() { clean(); }

bool TransactionUserExt::init(int workerCount, const char* hostName) {
    if (hostName != nullptr) setHostName(hostName);
    return TransactionUser::init(workerCount);
}

void TransactionUserExt::clean() {
    TransactionUser::clean();
    setOutboundPeer(std::nullopt);
}

std::string TransactionUserExt::getHostName() const {
    ScopedLock<kel_util::Mutex> guard(hostNameMutex_);
    return hostName_;
}

void TransactionUserExt::setHostName(std::string hostName) {
    ScopedLock<kel_util::Mutex> guard(hostNameMutex_);
    hostName_ = std::move(hostName);
}

std::string TransactionUserExt::getLocalTag() const {
    ScopedLock<kel_util::Mutex> guard(localTagMutex_);
    return localTag_;
}

void TransactionUserExt::setLocalTag(std::string tag) {
    ScopedLock<kel_util::Mutex> guard(localTagMutex_);
    localTag_ = std::move(tag);
}

std::optional<SipPeerAddress> TransactionUserExt::getOutboundPeer() const {
    ScopedLock<kel_util::Mutex> guard(outboundPeerMutex_);
    return outboundPeer_;
}

void TransactionUserExt::setOutboundPeer(std::optional<SipPeerAddress> peer) {
    ScopedLock<kel_util::Mutex> guard(outboundPeerMutex_);
    outboundPeer_ = std::move(peer);
}

bool TransactionUserExt::onReceiveRequest(SipMessageSlot& message, int serverTransactionId,
                                          EventLockGuard& eventLock) {
    const std::string method(message->getMethodName());
    logPrint(DBG, "TransactionUserExt::onReceiveRequest. Method=[%s](%d), ServerTransactionID=%d.\n", method.c_str(),
             message->methodKind, serverTransactionId);
    const int statusCode = procReceiveRequest(message, serverTransactionId, eventLock);
    eventLock.release();
    if (statusCode != 0) {
        if (!message) {
            logPrint(MIN, "TransactionUserExt::onReceiveRequest. No request left to answer, StatusCode=%d.\n",
                     statusCode);
            return false;
        }
        if (!sendResponseFromRequest(serverTransactionId, *message, statusCode, nullptr, nullptr, 0)) {
            logPrint(MIN, "TransactionUserExt::onReceiveRequest. Failed sendResponseFromRequest.\n");
            return false;
        }
    }
    message.reset();
    return true;
}

bool TransactionUserExt::runProcedure(const char* operation, const char* transactionKind, Procedure procedure,
                                      SipMessageSlot& message, int transactionId, int userId,
                                      EventLockGuard& eventLock) {
    logPrint(DBG, "TransactionUserExt::%s. StatusCode=%d, Method=[%s](%d), %sID=%d, id=%d.\n", operation,
             message->statusCode, std::string(message->getMethodName()).c_str(), message->cseq.getMethodKind(),
             transactionKind, transactionId, userId);
    if (!(this->*procedure)(message, userId, eventLock)) return false;
    message.reset();
    return true;
}

bool TransactionUserExt::onReceiveResponse(SipMessageSlot& message, int clientTransactionId, int userId,
                                           EventLockGuard& eventLock) {
    return runProcedure("onReceiveResponse", "ClientTransaction", &TransactionUserExt::procReceiveResponse, message,
                        clientTransactionId, userId, eventLock);
}

bool TransactionUserExt::onClientTransactionTimeout(SipMessageSlot& message, int clientTransactionId, int userId,
                                                    EventLockGuard& eventLock) {
    return runProcedure("onClientTransactionTimeout", "ClientTransaction",
                        &TransactionUserExt::procClientTransactionTimeout, message, clientTransactionId, userId,
                        eventLock);
}

bool TransactionUserExt::onRequestTransportError(SipMessageSlot& message, int clientTransactionId, int userId,
                                                 EventLockGuard& eventLock) {
    return runProcedure("onRequestTransportError", "ClientTransaction", &TransactionUserExt::procRequestTransportError,
                        message, clientTransactionId, userId, eventLock);
}

bool TransactionUserExt::onResponseTransportError(SipMessageSlot& message, int serverTransactionId, int parameter,
                                                  EventLockGuard& eventLock) {
    return runProcedure("onResponseTransportError", "ServerTransaction",
                        &TransactionUserExt::procResponseTransportError, message, serverTransactionId, parameter,
                        eventLock);
}

bool TransactionUserExt::onTimeout(int id, int timerName, int /*parameter*/) {
    EventLockGuard eventLock(*this);
    return onTimeout(id, timerName, eventLock);
}

bool TransactionUserExt::onTimeout(int id, int timerName, EventLockGuard& eventLock) {
    eventLock.release();
    logPrint(MIN, "TransactionUserExt::onTimeout. Invalid timeout, id=%d, TimerName=%d.\n", id, timerName);
    return false;
}

int TransactionUserExt::procReceiveRequest(SipMessageSlot& request, int serverTransactionId,
                                           EventLockGuard& eventLock) {
    eventLock.release();
    logPrint(MIN, "TransactionUserExt::procReceiveRequest. Invalid request, Method=[%s](%d), ServerTransactionID=%d.\n",
             std::string(request->getMethodName()).c_str(), request->methodKind, serverTransactionId);
    return 405;
}

bool TransactionUserExt::procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) {
    return refuseEvent("TransactionUserExt::procReceiveResponse", *response, nullptr, 0, userId, eventLock);
}

bool TransactionUserExt::procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) {
    return refuseEvent("TransactionUserExt::procClientTransactionTimeout", *request, nullptr, 0, userId, eventLock);
}

bool TransactionUserExt::procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock) {
    return refuseEvent("TransactionUserExt::procRequestTransportError", *request, nullptr, 0, userId, eventLock);
}

bool TransactionUserExt::procResponseTransportError(SipMessageSlot& response, int parameter,
                                                    EventLockGuard& eventLock) {
    return refuseEvent("TransactionUserExt::procResponseTransportError", *response, nullptr, 0, parameter, eventLock);
}

}  // namespace kel_sip
