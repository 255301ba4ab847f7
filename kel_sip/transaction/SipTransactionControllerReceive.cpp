// The receive paths of the transaction controller: requests and responses from the
// transports, and the transport errors they report.
#include <string>

#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipTransportType.h"
#include "kel_sip/transaction/ClientTransactionID.h"
#include "kel_sip/transaction/ControllerTransactionContext.h"
#include "kel_sip/transaction/ServerTransactionID.h"
#include "kel_sip/transaction/INVITEServerTransaction.h"
#include "kel_sip/transaction/NonINVITEServerTransaction.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transaction/ControllerTransactionKinds.h"
#include "kel_sip/transport/SipTransportBase.h"
#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_util/Log.h"

namespace kel_sip {
namespace {

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;

}  // namespace

void SipTransactionControllerImpl::receive(int eventType, SipMessageSlot& message) {
    bool ok = false;
    const char* step = nullptr;
    switch (eventType) {
        case SIPTRANSPORT_EVMSGTYPE_RECVSIPREQUEST:
            ok = onReceiveRequest(message);
            step = "onReceiveRequest";
            break;
        case SIPTRANSPORT_EVMSGTYPE_RECVSIPRESPONSE:
            ok = onReceiveResponse(message, false);
            step = "onReceiveResponse";
            break;
        default:
            ok = onReceiveResponse(message, true);
            step = "onHeaderLengthError";
            break;
    }
    if (!ok) logPrint(MIN, "SipTransactionControllerImpl::onEvent. Failed  %s.\n", step);
}

bool SipTransactionControllerImpl::onReceiveRequest(SipMessageSlot& request) {
    const std::string method(request->getMethodName());
    if (request->vias.empty()) {
        logPrint(MIN, "SipTransactionControllerImpl::onReceiveRequest. Via empty, Method=[%s].\n", method.c_str());
        return false;
    }
    kel_util::EventHandler2* user = users_.userFor(request->methodKind);
    logPrint(DBG, "SipTransactionControllerImpl::onReceiveRequest. TransactionUser=%p, Method=[%s].\n",
             static_cast<const void*>(user), method.c_str());
    const bool isAck = request->methodKind == SipMethod::Ack;
    std::unique_ptr<ServerTransaction> fresh = isAck ? nullptr : makeServerTransaction(*request, user);
    servers_.lock();
    logPrint(DBG, "SipTransactionControllerImpl::onReceiveRequest. Searching ServerTransaction, Method=[%s].\n",
             method.c_str());
    const SipMessageExt& received = *request;
    SipTransactionListData* record = servers_.getAndLockMatching(
        ServerTransactionID::keyOf(received),
        [&received](SipTransaction& t) { return asServer(t).isRequestMatching(received); });
    if (record == nullptr) {
        logPrint(DBG, "SipTransactionControllerImpl::onReceiveRequest. No transaction found.\n");
        if (isAck) {
            // The ACK of a 2xx (RFC 3261 section 17.1.1.3) belongs to no transaction.
            servers_.unlock();
            logPrint(DET, "SipTransactionControllerImpl::onReceiveRequest. Method=[ACK], passing to TU.\n");
            return notifyTU(user, SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST, request, 0, 0);
        }
        if (fresh != nullptr) {
            record = servers_.addAndHold(std::move(fresh));
            logPrint(DET,
                     "SipTransactionControllerImpl::onReceiveRequest. Created ServerTransaction, Method=[%s], "
                     "ServerTransactionID=%d.\n",
                     method.c_str(), record->getId());
        } else {
            servers_.unlock();
        }
    }
    if (record == nullptr) return answerUntaken(request);
    logPrint(DET,
             "SipTransactionControllerImpl::onReceiveRequest. Processing ReceiveRequest, Method=[%s], "
             "ServerTransactionID=%d.\n",
             method.c_str(), record->getId());
    if (finishStep(servers_, record, asServer(record->payload()).onReceiveRequest(request), "onReceiveRequest",
                   "onReceiveRequest")) {
        return true;
    }
    if (request == nullptr || isAck) return false;
    // A user that still runs refused it because its queue was full (which counts and reports
    // it): under overload the request is dropped, and the peer retransmits it.
    if (user != nullptr && user->isAccepting()) return false;
    // A request nobody took is answered here (RFC 3261 section 8.2), the ACK never.
    return answerUntaken(request);
}

std::unique_ptr<ServerTransaction> SipTransactionControllerImpl::makeServerTransaction(SipMessageExt& request,
                                                                                      kel_util::EventHandler2* user) {
    const std::string method(request.getMethodName());
    if (user == nullptr) {
        // Without a user the request could never be answered; it gets 500 instead of a
        // transaction (and, for an INVITE, a 100 Trying that nothing follows).
        logPrint(MIN, "SipTransactionControllerImpl::onReceiveRequest. No TransactionUser, Method=[%s].\n",
                 method.c_str());
        return nullptr;
    }
    SipTransportBase* transport = getTransport(request);
    if (transport == nullptr) {
        logPrint(MIN, "SipTransactionControllerImpl::onReceiveRequest. Failed to get SipTransportBase, Method=[%s].\n",
                 method.c_str());
        return nullptr;
    }
    auto transaction = makeMachine<ServerTransaction, INVITEServerTransaction, NonINVITEServerTransaction>(
        request.methodKind, std::make_unique<ControllerTransactionContext>(*this, *transport, user), "onReceiveRequest",
        "INVITEServerTransaction", "NonINVITEServerTransaction", method);
    if (!transaction->setRequest(request)) {
        logPrint(MIN, "SipTransactionControllerImpl::onReceiveRequest. Failed to set ServerTranasaction, Method=[%s].\n",
                 method.c_str());
        return nullptr;
    }
    return transaction;
}

bool SipTransactionControllerImpl::answerUntaken(SipMessageSlot& request) {
    const std::string method(request->getMethodName());
    constexpr int kStatus = 500;
    logPrint(DBG, "SipTransactionControllerImpl::onReceiveRequest. Sending error response StatusCode=%d, Method=[%s].\n",
             kStatus, method.c_str());
    request->setResponse(kStatus);
    if (request->to.tag.empty()) request->to.tag = makeTag();
    // Over UDP the answer goes where the top Via says (RFC 3261 section 18.2.2, RFC 3581),
    // which need not be the port the request came from; a connection answers on itself.
    if (!isReliableTransport(request->transportType)) request->peer = {};
    const bool sent = sendResponseByTransport(*request, 0);
    logPrint(sent ? DBG : MIN,
             "SipTransactionControllerImpl::onReceiveRequest. %s sendResponse, Method=[%s], StatusCode=%d.\n",
             sent ? "Succeeded" : "Failed", method.c_str(), kStatus);
    return sent;
}

bool SipTransactionControllerImpl::onReceiveResponse(SipMessageSlot& response, bool headerLengthError) {
    const char* operation = headerLengthError ? "onHeaderLengthError" : "onReceiveResponse";
    const std::string method(response->getMethodName());
    const int code = response->statusCode;
    if (response->vias.empty()) {
        logPrint(MIN, "SipTransactionControllerImpl::%s. Via empty, StatusCode=%d, Method=[%s].\n", operation, code,
                 method.c_str());
        return false;
    }
    if (response->cseq.getMethodKind() == SipMethod::Ack) {
        // Nobody answers an ACK (RFC 3261 section 17.1.1.3).
        logPrint(headerLengthError ? DET : MIN, "SipTransactionControllerImpl::%s. Invalid response, StatusCode=%d, Method=[%s].\n",
                 operation, code, method.c_str());
        return headerLengthError;
    }
    std::string key;
    SipTransactionListData* record = nullptr;
    clients_.lock();
    logPrint(DBG, "SipTransactionControllerImpl::%s. Searching ClientTransaction, StatusCode=%d, Method=[%s].\n",
             operation, code, method.c_str());
    if (ClientTransactionID::keyOf(*response, key)) {
        const SipMessageExt& received = *response;
        record = clients_.getAndLockMatching(
            key, [&received](SipTransaction& t) { return asClient(t).isResponseMatching(received); });
    }
    if (record != nullptr) {
        logPrint(DET, "SipTransactionControllerImpl::%s. Processing ReceiveResponse, ClientTransactionID=%d.\n",
                 operation, record->getId());
        ClientTransaction& transaction = asClient(record->payload());
        const bool ok =
            headerLengthError ? transaction.onHeaderLengthError(response) : transaction.onReceiveResponse(response);
        return finishStep(clients_, record, ok, operation, "onReceiveResponse");
    }
    clients_.unlock();
    if (code >= 200 && code < 300 && response->cseq.getMethodKind() == SipMethod::Invite) {
        // A 2xx retransmission after the INVITE client transaction ended (RFC 3261 section
        // 17.1.1.2): the user acknowledges it again.
        logPrint(DET,
                 "SipTransactionControllerImpl::%s. 2xx response for INVITE, passing to TU, StatusCode=%d, Method=[%s].\n",
                 operation, code, method.c_str());
        return notifyTU(users_.userFor(SipMethod::Invite), SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, response, 0, 0);
    }
    // A stray or late response (RFC 3261 section 18.1.2): dropped.
    logPrint(DBG, "SipTransactionControllerImpl::%s. No transaction found, StatusCode=%d, Method=[%s].\n", operation,
             code, method.c_str());
    return true;
}

bool SipTransactionControllerImpl::onTransportError(SipMessageSlot& message, int transactionId) {
    SipTransactionList& list = message->isRequest ? clients_ : servers_;
    const char* kind = message->isRequest ? "ClientTransaction" : "ServerTransaction";
    const std::string method(message->getMethodName());
    list.lock();
    releaseEventLock();
    logPrint(DBG, "SipTransactionControllerImpl::onTransportError. Searching %s, %sID=%d, Method=[%s].\n", kind, kind,
             transactionId, method.c_str());
    SipTransactionListData* record = list.getAndLockById(transactionId);
    if (record == nullptr) {
        list.unlock();
        logPrint(DBG, "SipTransactionControllerImpl::onTransportError. %s not found, %sID=%d, Method=[%s].\n", kind,
                 kind, transactionId, method.c_str());
        return false;
    }
    logPrint(DBG, "SipTransactionControllerImpl::onTransportError. %s found, %sID=%d, Method=[%s].\n", kind, kind,
             transactionId, method.c_str());
    logPrint(DET, "SipTransactionControllerImpl::onTransportError. Processing Timeout, %sID=%d.\n", kind,
             transactionId);
    const bool ok = record->payload().onTransportError(message);
    return finishStep(list, record, ok, "onTransportError", "onTransportError", ", Method=[" + method + "]");
}

}  // namespace kel_sip
