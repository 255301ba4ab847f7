// A fake world for the transaction machines: a transport that records what is sent and can be
// told to fail, a user that records notifications, and timers on a clock the test moves by
// hand. One world drives one transaction.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/transaction/SipTransaction.h"
#include "kel_sip/transaction/TransactionContext.h"

namespace kel_sip::test {

struct SentMessage {
    long long at;  // virtual milliseconds
    SipMessageExt message;
};

struct Notification {
    long long at;
    int type;
    std::unique_ptr<SipMessageExt> message;
    int transactionId;
    int userId;
};

class FakeWorld {
public:
    explicit FakeWorld(bool reliable = false, TransactionTimerValues values = {}) : reliable(reliable), values(values) {}

    // A context for one transaction; the world must outlive it.
    std::unique_ptr<TransactionContext> makeContext();

    // Moves the clock by milliseconds, firing every due timer on transaction in time order.
    void advance(SipTransaction& transaction, long long milliseconds);
    // Moves the clock to an absolute time (not backwards).
    void advanceTo(SipTransaction& transaction, long long at) { advance(transaction, at - now); }

    bool isTimerPending(int timer) const;
    int pendingTimerCount() const { return static_cast<int>(due_.size()); }
    // The times at which messages with this method (and status code, for responses; 0 for
    // requests) were sent.
    std::vector<long long> sendTimes(std::string_view method, int statusCode = 0) const;
    std::vector<int> notificationTypes() const;

    long long now = 0;
    bool reliable;
    TransactionTimerValues values;
    bool failSends = false;
    bool failNotifications = false;
    int sendAttempts = 0;
    bool allTimerStepsSucceeded = true;
    std::vector<SentMessage> sent;
    std::vector<Notification> notifications;

private:
    class Context;
    // (due time, start order) -> timer number
    std::map<std::pair<long long, int>, int> due_;
    int startCount_ = 0;
};

// A message parsed from text with "\n" line ends; fails the test when it does not parse.
std::unique_ptr<SipMessageExt> parseMessage(const std::string& text);

// A request from alice to bob with the given method, branch and top Via sent-by host; its
// CSeq names the method (ACK and CANCEL take the INVITE's number 1).
std::unique_ptr<SipMessageExt> makeRequest(const std::string& method, const std::string& branch = "z9hG4bK74bf9aa1",
                                           const std::string& sentBy = "client.example.com");
// A response to request with the given code and To tag ("" for none).
std::unique_ptr<SipMessageExt> makeResponse(const SipMessageExt& request, int code, const std::string& toTag = "b0b");

}  // namespace kel_sip::test

namespace kel_sip::test {

// One transaction of type T in its own fake world, given the request that creates it.
template <typename T>
struct Harness {
    explicit Harness(bool reliable = false, TransactionTimerValues values = {},
                     std::unique_ptr<SipMessageExt> creating = makeRequest("INVITE"))
        : world(reliable, values), transaction(world.makeContext()), request(std::move(creating)) {
        transaction.setId(7);
        EXPECT_TRUE(transaction.setRequest(*request));
    }

    FakeWorld world;
    T transaction;
    std::unique_ptr<SipMessageExt> request;
};

// Moves the clock to just before end and checks that the message (method and status code, 0
// for a request) went out exactly at times and that nothing was reported beyond the
// notifications already there; then moves to end and checks that the transaction ended
// there, reporting type with its user ID, and left no timer behind.
template <typename H>
void expectRetransmissionsUntil(H& h, std::string_view method, int statusCode, const std::vector<long long>& times,
                                long long end, int type) {
    const size_t notified = h.world.notifications.size();
    h.world.advanceTo(h.transaction, end - 1);
    EXPECT_EQ(h.world.sendTimes(method, statusCode), times);
    EXPECT_EQ(h.world.notifications.size(), notified);

    h.world.advanceTo(h.transaction, end);
    EXPECT_TRUE(h.world.allTimerStepsSucceeded);
    EXPECT_EQ(h.transaction.getState(), kStateTerminated);
    ASSERT_EQ(h.world.notifications.size(), notified + 1);
    const Notification& last = h.world.notifications.back();
    EXPECT_EQ(last.type, type);
    EXPECT_EQ(last.at, end);
    EXPECT_EQ(last.userId, h.transaction.getUserId());
    EXPECT_EQ(h.world.pendingTimerCount(), 0);
}

}  // namespace kel_sip::test
