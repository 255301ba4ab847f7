// The send paths of the transaction controller: requests and responses from the users, and
// the search for the INVITE a CANCEL aims at.
#include <string>

#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/transaction/ClientTransactionID.h"
#include "kel_sip/transaction/ControllerTransactionContext.h"
#include "kel_sip/transaction/ServerTransactionID.h"
#include "kel_sip/transaction/INVITEClientTransaction.h"
#include "kel_sip/transaction/NonINVITEClientTransaction.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transaction/ControllerTransactionKinds.h"
#include "kel_sip/transport/SipTransportBase.h"
#include "kel_util/Log.h"

namespace kel_sip {
namespace {

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;

bool is2xxToInvite(const SipMessage& response) {
    return response.statusCode >= 200 && response.statusCode < 300 && response.cseq.getMethodKind() == SipMethod::Invite;
}

// A response the server side may send: it has a Via to go back along, and answers no ACK.
bool isSendableResponse(const SipMessageExt& response) {
    const std::string method(response.getMethodName());
    if (response.vias.empty()) {
        logPrint(MIN, "SipTransactionControllerImpl::sendResponse. Via empty, StatusCode=%d, Method=[%s].\n",
                 response.statusCode, method.c_str());
        return false;
    }
    if (response.cseq.getMethodKind() == SipMethod::Ack) {
        logPrint(MIN, "SipTransactionControllerImpl::sendResponse. Response for ACK, ignored.\n");
        return false;
    }
    return true;
}

}  // namespace

int SipTransactionControllerImpl::sendRequest(const SipMessageExt& request, int userId, kel_util::EventHandler2* user) {
    const kel_util::OperationGate::Pass pass(gate_);
    if (!pass) return -1;
    const std::string method(request.getMethodName());
    if (request.vias.empty()) {
        logPrint(MIN, "SipTransactionControllerImpl::sendRequest. Via empty, Method=[%s].\n", method.c_str());
        return -1;
    }
    SipMessageExt copy(request);
    if (request.methodKind == SipMethod::Ack) {
        logPrint(DBG, "SipTransactionControllerImpl::sendRequest. Method=[ACK], passing to transport.\n");
        return sendRequestByTransport(copy, 0) ? 0 : -1;
    }
    if (user == nullptr) {
        // Nobody could be told of the responses.
        logPrint(MIN, "SipTransactionControllerImpl::sendRequest. No TransactionUser, Method=[%s].\n", method.c_str());
        return -1;
    }
    std::string key;
    if (!ClientTransactionID::keyOf(request, key)) {
        logPrint(MIN, "SipTransactionControllerImpl::sendRequest. Failed to set ClientTranasaction, Method=[%s].\n",
                 method.c_str());
        return -1;
    }
    clients_.lock();
    logPrint(DBG, "SipTransactionControllerImpl::sendRequest. Searching ClientTransaction, Method=[%s].\n",
             method.c_str());
    const TransactionMethod transactionMethod = TransactionMethod::ofCSeq(request);
    if (clients_.hasKey(key, &transactionMethod)) {
        clients_.unlock();
        logPrint(MIN, "SipTransactionControllerImpl::sendRequest. Branch for transaction already exists.\n");
        return -1;
    }
    SipTransportBase* transport = getTransport(copy);
    if (transport == nullptr) {
        clients_.unlock();
        logPrint(MIN, "SipTransactionControllerImpl::sendRequest. Failed to get SipTransportBase.\n");
        return -1;
    }
    auto transaction = makeMachine<ClientTransaction, INVITEClientTransaction, NonINVITEClientTransaction>(
        request.methodKind, std::make_unique<ControllerTransactionContext>(*this, *transport, user), "sendRequest",
        "INVITEClientTransaction", "NonINVITEClientTransaction", method);
    if (!transaction->setRequest(copy)) {
        clients_.unlock();
        logPrint(MIN, "SipTransactionControllerImpl::sendRequest. Failed to set ClientTranasaction, Method=[%s].\n",
                 method.c_str());
        return -1;
    }
    ClientTransaction& client = *transaction;
    SipTransactionListData* record = clients_.addAndHold(std::move(transaction));
    const int id = record->getId();
    logPrint(DET, "SipTransactionControllerImpl::sendRequest. Created ClientTransaction, Method=[%s], ClientTransactionID=%d.\n",
             method.c_str(), id);
    logPrint(DET, "SipTransactionControllerImpl::sendRequest. Processing onSendRequest, ClientTransactionID=%d.\n", id);
    const bool ok = client.onSendRequest(copy, userId);
    return finishStep(clients_, record, ok, "sendRequest", "onSendRequest") ? id : -1;
}

bool SipTransactionControllerImpl::sendResponse(int serverTransactionId, const SipMessageExt& response, int parameter) {
    logPrint(DBG, "SipTransactionControllerImpl::sendResponse 2.\n");
    const kel_util::OperationGate::Pass pass(gate_);
    if (!pass || !isSendableResponse(response)) return false;
    servers_.lock();
    logPrint(DBG,
             "SipTransactionControllerImpl::sendResponse. Searching ServerTransaction, ServerTransactionID=%d, "
             "StatusCode=%d, Method=[%s].\n",
             serverTransactionId, response.statusCode, std::string(response.getMethodName()).c_str());
    SipTransactionListData* record = servers_.getAndLockById(serverTransactionId);
    if (record != nullptr && !asServer(record->payload()).isResponseMatching(response)) {
        // The ID names another request's transaction: not this response's.
        servers_.release(record, false);
        record = nullptr;
    }
    return _sendResponse(record, response, parameter, false);
}

bool SipTransactionControllerImpl::sendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) {
    logPrint(DBG, "SipTransactionControllerImpl::sendResponse 1.\n");
    const kel_util::OperationGate::Pass pass(gate_);
    if (!pass || !isSendableResponse(response)) return false;
    servers_.lock();
    logPrint(DBG, "SipTransactionControllerImpl::sendResponse. Searching ServerTransaction, StatusCode=%d, Method=[%s].\n",
             response.statusCode, std::string(response.getMethodName()).c_str());
    SipTransactionListData* record = servers_.getAndLockMatching(
        ServerTransactionID::keyOf(response),
        [&response](SipTransaction& t) { return asServer(t).isResponseMatching(response); });
    return _sendResponse(record, response, parameter, notifyFailureAck);
}

bool SipTransactionControllerImpl::_sendResponse(SipTransactionListData* record, const SipMessageExt& response,
                                                 int parameter, bool notifyFailureAck) {
    const std::string method(response.getMethodName());
    if (record == nullptr) {
        servers_.unlock();
        if (!is2xxToInvite(response)) {
            logPrint(MIN,
                     "SipTransactionControllerImpl::_sendResponse. Servertransaction not found, StatusCode=%d, "
                     "Method=[%s].\n",
                     response.statusCode, method.c_str());
            return false;
        }
        // The INVITE server transaction ends with the 2xx; the user retransmits it until the
        // ACK comes (RFC 3261 section 13.3.1.4).
        logPrint(DBG,
                 "SipTransactionControllerImpl::_sendResponse. 2xx responses for INVITE, passing to Transport, "
                 "StatusCode=%d, Method=[%s].\n",
                 response.statusCode, method.c_str());
        SipMessageExt copy(response);
        return sendResponseByTransport(copy, 0);
    }
    logPrint(DBG, "SipTransactionControllerImpl::_sendResponse. Found ServerTransaction, ServerTransactionID=%d.\n",
             record->getId());
    const bool ok = asServer(record->payload()).onSendResponse(response, parameter, notifyFailureAck);
    return finishStep(servers_, record, ok, "_sendResponse", "onSendResponse");
}

int SipTransactionControllerImpl::findTrancsactionToCancel(const SipMessageExt& cancel) {
    logPrint(DBG, "SipTransactionControllerImpl::findTrancsactionToCancel. Searching ServerTransaction to Cancel.\n");
    const kel_util::OperationGate::Pass pass(gate_);
    if (!pass) return -1;
    servers_.lock();
    SipTransactionListData* record = servers_.getAndLockMatching(
        ServerTransactionID::keyOf(cancel),
        [&cancel](SipTransaction& t) { return asServer(t).isCancelMatching(cancel); });
    if (record == nullptr) {
        servers_.unlock();
        logPrint(DBG, "SipTransactionControllerImpl::findTrancsactionToCancel.  ServerTransaction not found to Cancel.\n");
        return -1;
    }
    const int id = record->getId();
    servers_.release(record, false);
    servers_.unlock();
    logPrint(DBG, "SipTransactionControllerImpl::findTrancsactionToCancel. Found ServerTransaction to Cancel ID=%d.\n",
             id);
    return id;
}

}  // namespace kel_sip
