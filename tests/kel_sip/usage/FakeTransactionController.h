// A transaction layer for usage tests: it records every request and response a usage hands
// it (with the user ID or parameter that came along), hands out transaction IDs, and injects
// requests, responses, time-outs and transport errors into the users as the real controller
// posts them. No network and no transaction timers: a test drives the usage's own timers with
// a ManualClock (kel_util/Clock.h) and waits for the events it caused.
//
// Threads: any; every operation takes the fake's lock.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kel_sip/transaction/SipTransactionController.h"

namespace kel_sip::test {

inline constexpr std::chrono::milliseconds kDeadline{5000};

// One message a usage handed to the transaction layer.
struct SentMessage {
    enum Kind { Request, ResponseById, ResponseByMessage };
    Kind kind = Request;
    std::shared_ptr<SipMessageExt> message;
    int transactionId = 0;  // the client ID handed out (0 for ACK), the server ID given, 0 by message
    int userId = 0;         // a request's user ID, a response's parameter
    bool notifyFailureAck = false;
};

class FakeTransactionController : public SipTransactionController {
public:
    bool addTransactionUser(const std::vector<int>& methodKinds, kel_util::EventHandler2* user) override;
    int sendRequest(const SipMessageExt& request, int userId, kel_util::EventHandler2* user) override;
    bool sendResponse(int serverTransactionId, const SipMessageExt& response, int parameter) override;
    bool sendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) override;
    int findTrancsactionToCancel(const SipMessageExt& cancel) override;
    bool deleteClientTransaction(int id) override;
    bool deleteServerTransaction(int id) override;
    // "z9hG4bK" and a counter, so that tests can tell the branches apart.
    void createBranch(std::string& branch) override;

    // A request from the network to the user registered for its method, in a new server
    // transaction (an ACK in none: ID 0); the server transaction ID, -1 without a user.
    int injectRequest(const SipMessageExt& request);
    // A response, time-out or transport error of a client transaction, to the user that sent
    // it with its user ID; a time-out and an error carry the request sent. False for an
    // unknown ID.
    bool injectResponse(int clientTransactionId, const SipMessageExt& response);
    bool injectClientTimeout(int clientTransactionId);
    // A response that matches no client transaction any more (a 2xx to INVITE repeated after
    // the transaction ended), to the user registered for its method with IDs 0.
    bool injectStrayResponse(const SipMessageExt& response);
    bool injectRequestTransportError(int clientTransactionId);
    // A transport error on a response sent on a server transaction, with its parameter.
    bool injectResponseTransportError(int serverTransactionId, const SipMessageExt& response, int parameter);

    std::vector<SentMessage> sent();
    // Waits until count messages have been sent; false at the deadline.
    bool waitForSent(std::size_t count, std::chrono::milliseconds limit = kDeadline);
    std::vector<int> deletedClientTransactions();
    std::vector<int> deletedServerTransactions();

    // Sends fail while set (a transport that cannot reach the peer).
    std::atomic<bool> refuseSends{false};
    // What findTrancsactionToCancel answers.
    std::atomic<int> cancelTarget{-1};

private:
    struct ClientTransaction {
        kel_util::EventHandler2* user;
        int userId;
        std::shared_ptr<SipMessageExt> request;
    };
    // The user registered for methodKind, null when none is.
    kel_util::EventHandler2* userFor(int methodKind);
    bool post(kel_util::EventHandler2* user, int type, const SipMessageExt& message, int transactionId, int userId);
    bool injectFromClient(int clientTransactionId, int type, const SipMessageExt* response);
    bool record(SentMessage sent);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SentMessage> sent_;
    std::map<int, kel_util::EventHandler2*> users_;
    std::map<int, ClientTransaction> clients_;
    std::vector<int> deletedClients_;
    std::vector<int> deletedServers_;
    int nextClientId_ = 0;
    int nextServerId_ = 0;
    int nextBranch_ = 0;
};

}  // namespace kel_sip::test
