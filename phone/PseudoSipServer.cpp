#include "phone/PseudoSipServer.h"

#include "kel_util/Log.h"

#include <string>

using kel_sip::SipMessageExt;
using kel_util::logPrint;

PseudoSipServer::PseudoSipServer(kel_sip::SipTransactionController& controller, const char* className,
                                 int methodKind)
    : TransactionUser(controller), className_(className), methodKind_(methodKind) {
    setName(className);
}

PseudoSipServer::~PseudoSipServer() { PseudoSipServer::clean(); }

bool PseudoSipServer::init(int workerCount) {
    logPrint(kel_util::DET, "%s::init. Initializing %s, WorkerNum=%d.\n", className_, className_, workerCount);
    if (!TransactionUser::init(workerCount)) {
        logPrint(kel_util::MAJ, "%s::init. Failed to init TransactionUser.\n", className_);
        logPrint(kel_util::MAJ, "%s::init. Failed to init %s.\n", className_, className_);
        return false;
    }
    logPrint(kel_util::DET, "%s::init. Initialized %s.\n", className_, className_);
    started_ = true;
    return true;
}

void PseudoSipServer::clean() {
    if (!started_) {
        TransactionUser::clean();
        return;
    }
    started_ = false;
    if (logsClean()) logPrint(kel_util::DET, "%s::clean. Cleaning %s.\n", className_, className_);
    TransactionUser::clean();
    if (logsClean()) logPrint(kel_util::DET, "%s::clean. Cleaned %s.\n", className_, className_);
}

bool PseudoSipServer::onReceiveRequest(kel_sip::SipMessageSlot& message, int serverTransactionId,
                                       kel_sip::EventLockGuard& eventLock) {
    // Stateless: nothing to lock, so other requests may be worked on at once.
    eventLock.release();
    if (message == nullptr) return false;
    const SipMessageExt& request = *message;
    const std::string method(request.getMethodName());
    logPrint(kel_util::DBG, "%s::onReceiveRequest. Method=[%s], ServerTransactionID=%d.\n", className_, method.c_str(),
             serverTransactionId);
    if (request.methodKind != methodKind_) {
        refuseMethod(request, serverTransactionId);
        return true;
    }
    const auto response = answer(request, serverTransactionId);
    if (!sendResponse(serverTransactionId, *response, 0)) {
        logPrint(kel_util::MIN, "%s::onReceiveRequest. Failed sendResponse Method=[%s], ServerTransactionID=%d.\n",
                 className_, method.c_str(), serverTransactionId);
        return false;
    }
    return true;
}

void PseudoSipServer::refuseMethod(const SipMessageExt& request, int serverTransactionId) {
    const std::string method(request.getMethodName());
    constexpr int code = 405;
    logPrint(kel_util::MIN, "%s::onReceiveRequest. Invalid Method=[%s], ServerTransactionID=%d.\n", className_,
             method.c_str(), serverTransactionId);
    if (sendResponseFromRequest(serverTransactionId, request, code, nullptr, nullptr, 0)) {
        logPrint(kel_util::DBG,
                 "%s::onReceiveRequest. Succeeded sendResponseFromRequest, ServetTransactionID=%d, Method=[%s], "
                 "StatusCode=%d.\n",
                 className_, serverTransactionId, method.c_str(), code);
    } else {
        logPrint(kel_util::MIN,
                 "%s::onReceiveRequest. Failed sendResponseFromRequest, ServetTransactionID=%d, Method=[%s], "
                 "StatusCode=%d.\n",
                 className_, serverTransactionId, method.c_str(), code);
    }
}

bool PseudoSipServer::onResponseTransportError(kel_sip::SipMessageSlot& message, int serverTransactionId,
                                               int parameter, kel_sip::EventLockGuard& eventLock) {
    if (message == nullptr || message->cseq.getMethodKind() != methodKind_) {
        return TransactionUser::onResponseTransportError(message, serverTransactionId, parameter, eventLock);
    }
    eventLock.release();
    logPrint(kel_util::MIN, "%s::onResponseTransportError. Ignored Response TransportError, Method=[%s], param=%d.\n",
             className_, std::string(message->getMethodName()).c_str(), parameter);
    message.reset();
    return true;
}
