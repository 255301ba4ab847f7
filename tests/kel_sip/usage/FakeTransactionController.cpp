#include "FakeTransactionController.h"

#include <cstdio>

#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/transaction/TransactionTypes.h"

namespace kel_sip::test {

bool FakeTransactionController::addTransactionUser(const std::vector<int>& methodKinds, kel_util::EventHandler2* user) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const int kind : methodKinds) {
        if (!users_.emplace(kind, user).second) return false;
    }
    return true;
}

bool FakeTransactionController::record(SentMessage sent) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refuseSends) return false;
    sent_.push_back(std::move(sent));
    changed_.notify_all();
    return true;
}

int FakeTransactionController::sendRequest(const SipMessageExt& request, int userId, kel_util::EventHandler2* user) {
    if (request.vias.empty()) return -1;
    auto copy = std::make_shared<SipMessageExt>(request);
    std::lock_guard<std::mutex> lock(mutex_);
    if (refuseSends) return -1;
    const int id = request.methodKind == SipMethod::Ack ? 0 : ++nextClientId_;
    if (id > 0) clients_[id] = {user, userId, copy};
    sent_.push_back({SentMessage::Request, copy, id, userId, false});
    changed_.notify_all();
    return id;
}

bool FakeTransactionController::sendResponse(int serverTransactionId, const SipMessageExt& response, int parameter) {
    return record({SentMessage::ResponseById, std::make_shared<SipMessageExt>(response), serverTransactionId, parameter,
                   false});
}

bool FakeTransactionController::sendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) {
    return record({SentMessage::ResponseByMessage, std::make_shared<SipMessageExt>(response), 0, parameter,
                   notifyFailureAck});
}

int FakeTransactionController::findTrancsactionToCancel(const SipMessageExt&) { return cancelTarget; }

bool FakeTransactionController::deleteClientTransaction(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    deletedClients_.push_back(id);
    return clients_.erase(id) > 0;
}

bool FakeTransactionController::deleteServerTransaction(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    deletedServers_.push_back(id);
    return id > 0 && id <= nextServerId_;
}

void FakeTransactionController::createBranch(std::string& branch) {
    std::lock_guard<std::mutex> lock(mutex_);
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(++nextBranch_));
    branch = std::string(kBranchMagicCookie) + text;
}

bool FakeTransactionController::post(kel_util::EventHandler2* user, int type, const SipMessageExt& message,
                                     int transactionId, int userId) {
    auto* copy = new SipMessageExt(message);
    if (user->postEvent(type, reinterpret_cast<intptr_t>(copy), transactionId, userId, this)) return true;
    delete copy;
    return false;
}

int FakeTransactionController::injectRequest(const SipMessageExt& request) {
    kel_util::EventHandler2* user = nullptr;
    int id = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = users_.find(request.methodKind);
        if (found == users_.end()) return -1;
        user = found->second;
        if (request.methodKind != SipMethod::Ack) id = ++nextServerId_;
    }
    return post(user, SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST, request, id, 0) ? id : -1;
}

bool FakeTransactionController::injectFromClient(int clientTransactionId, int type, const SipMessageExt* response) {
    ClientTransaction transaction;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = clients_.find(clientTransactionId);
        if (found == clients_.end()) return false;
        transaction = found->second;
    }
    const SipMessageExt& message = response != nullptr ? *response : *transaction.request;
    return post(transaction.user, type, message, clientTransactionId, transaction.userId);
}

bool FakeTransactionController::injectResponse(int clientTransactionId, const SipMessageExt& response) {
    return injectFromClient(clientTransactionId, SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, &response);
}

kel_util::EventHandler2* FakeTransactionController::userFor(int methodKind) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = users_.find(methodKind);
    return found == users_.end() ? nullptr : found->second;
}

bool FakeTransactionController::injectStrayResponse(const SipMessageExt& response) {
    kel_util::EventHandler2* user = userFor(response.cseq.getMethodKind());
    return user != nullptr && post(user, SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, response, 0, 0);
}

bool FakeTransactionController::injectClientTimeout(int clientTransactionId) {
    return injectFromClient(clientTransactionId, SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT, nullptr);
}

bool FakeTransactionController::injectRequestTransportError(int clientTransactionId) {
    return injectFromClient(clientTransactionId, SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR, nullptr);
}

bool FakeTransactionController::injectResponseTransportError(int serverTransactionId, const SipMessageExt& response,
                                                             int parameter) {
    kel_util::EventHandler2* user = userFor(response.cseq.getMethodKind());
    return user != nullptr &&
           post(user, SIPTRANSACTION_EVMSGTYPE_RESPONSETRANSPORTERROR, response, serverTransactionId, parameter);
}

std::vector<SentMessage> FakeTransactionController::sent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

bool FakeTransactionController::waitForSent(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return sent_.size() >= count; });
}

std::vector<int> FakeTransactionController::deletedClientTransactions() {
    std::lock_guard<std::mutex> lock(mutex_);
    return deletedClients_;
}

std::vector<int> FakeTransactionController::deletedServerTransactions() {
    std::lock_guard<std::mutex> lock(mutex_);
    return deletedServers_;
}

}  // namespace kel_sip::test
