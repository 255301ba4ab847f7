// The two ways a live transaction used to be lost: a timer expiry that arrives after its
// timer was cancelled, and a send that fails inside the transaction.
#include <functional>

#include <gtest/gtest.h>

#include "TransactionTestKit.h"
#include "kel_sip/transaction/INVITEClientTransaction.h"
#include "kel_sip/transaction/INVITEServerTransaction.h"
#include "kel_sip/transaction/NonINVITEClientTransaction.h"
#include "kel_sip/transaction/NonINVITEServerTransaction.h"

namespace kel_sip::test {
namespace {

template <typename T>
struct Started : Harness<T> {
    explicit Started(const std::string& method, bool reliable = false)
        : Harness<T>(reliable, {}, makeRequest(method)) {
        if constexpr (std::is_base_of_v<ClientTransaction, T>) {
            EXPECT_TRUE(this->transaction.onSendRequest(*this->request, 42));
        } else {
            auto first = std::make_unique<SipMessageExt>(*this->request);
            EXPECT_TRUE(this->transaction.onReceiveRequest(first));
        }
    }
    bool receiveResponse(int code) {
        auto response = makeResponse(*this->request, code);
        return this->transaction.onReceiveResponse(response);
    }
    bool receiveRequest(const std::string& method) {
        auto message = makeRequest(method);
        return this->transaction.onReceiveRequest(message);
    }
    bool respond(int code) { return this->transaction.onSendResponse(*makeResponse(*this->request, code), 3, false); }
};

using InviteClient = Started<INVITEClientTransaction>;
using NonInviteClient = Started<NonINVITEClientTransaction>;
using InviteServer = Started<INVITEServerTransaction>;
using NonInviteServer = Started<NonINVITEServerTransaction>;

// A timer whose expiry a worker had already taken off the queue when the timer was cancelled.
struct LateTimerCase {
    const char* name;
    std::function<void()> run;
};

template <typename H>
void expectLateTimersIgnored(H& h, std::initializer_list<int> timers) {
    const int state = h.transaction.getState();
    const size_t sent = h.world.sent.size();
    const size_t notified = h.world.notifications.size();
    for (int timer : timers) {
        EXPECT_TRUE(h.transaction.onTimeout(timer)) << "timer " << timer;
    }
    EXPECT_EQ(h.transaction.getState(), state);
    EXPECT_EQ(h.world.sent.size(), sent);
    EXPECT_EQ(h.world.notifications.size(), notified);
}

TEST(TransactionFaults, LateTimerLeavesTheTransactionAlive) {
    const LateTimerCase cases[] = {
        {"INVITE client: A and B after a provisional",
         [] {
             InviteClient h("INVITE");
             ASSERT_TRUE(h.receiveResponse(180));
             expectLateTimersIgnored(h, {kTimerA, kTimerB, kTimerD});
             // The final response, its ACK and the user's notification are still delivered.
             ASSERT_TRUE(h.receiveResponse(486));
             EXPECT_EQ(h.world.sendTimes("ACK").size(), 1u);
             EXPECT_EQ(h.world.notifications.back().message->statusCode, 486);
         }},
        {"INVITE client: A and B in Completed",
         [] {
             InviteClient h("INVITE");
             ASSERT_TRUE(h.receiveResponse(486));
             expectLateTimersIgnored(h, {kTimerA, kTimerB});
             h.world.advance(h.transaction, 32000);
             EXPECT_EQ(h.transaction.getState(), kStateTerminated);
         }},
        {"non-INVITE client: E and F in Completed",
         [] {
             NonInviteClient h("OPTIONS");
             ASSERT_TRUE(h.receiveResponse(200));
             expectLateTimersIgnored(h, {kTimerE, kTimerF});
             EXPECT_TRUE(h.transaction.isTimerRunning(kTimerK));
         }},
        {"INVITE server: G and H in Confirmed",
         [] {
             InviteServer h("INVITE");
             ASSERT_TRUE(h.respond(486));
             ASSERT_TRUE(h.receiveRequest("ACK"));
             expectLateTimersIgnored(h, {kTimerG, kTimerH});
             EXPECT_TRUE(h.transaction.isTimerRunning(kTimerI));
         }},
        {"non-INVITE server: J before a final response, and unknown numbers",
         [] {
             NonInviteServer h("OPTIONS");
             ASSERT_TRUE(h.respond(100));
             expectLateTimersIgnored(h, {kTimerJ, -1, kTimerCount, 31});
             ASSERT_TRUE(h.respond(200));
             EXPECT_EQ(h.transaction.getState(), kStateCompleted);
         }},
    };
    for (const LateTimerCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.run();
    }
}

// What the user learns when a send inside a transaction fails.
struct SendFailureOutcome {
    bool stepResult;
    int state;
    std::vector<int> notified;
    std::string lastMessage;  // method, or status code for a response
    int pendingTimers;
};

struct SendFailureCase {
    const char* name;
    std::function<SendFailureOutcome()> run;
    SendFailureOutcome expected;
};

std::string describe(const SipMessageExt* message) {
    if (message == nullptr) return "none";
    return message->isRequest ? std::string(message->getMethodName()) : std::to_string(message->statusCode);
}

template <typename H>
SendFailureOutcome outcome(H& h, bool stepResult) {
    return {stepResult, h.transaction.getState(), h.world.notificationTypes(),
            h.world.notifications.empty() ? "none" : describe(h.world.notifications.back().message.get()),
            h.world.pendingTimerCount()};
}

constexpr int kReq = SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST;
constexpr int kResp = SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE;
constexpr int kReqErr = SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR;
constexpr int kRespErr = SIPTRANSACTION_EVMSGTYPE_RESPONSETRANSPORTERROR;

TEST(TransactionFaults, FailedSendInsideATransactionIsATransportError) {
    const SendFailureCase cases[] = {
        {"INVITE client: Timer A retransmission",
         [] {
             InviteClient h("INVITE");
             h.world.failSends = true;
             h.world.advance(h.transaction, 500);
             return outcome(h, h.world.allTimerStepsSucceeded);
         },
         {true, kStateTerminated, {kReqErr}, "INVITE", 0}},
        {"INVITE client: the ACK of a failure response",
         [] {
             InviteClient h("INVITE");
             h.world.failSends = true;
             return outcome(h, h.receiveResponse(486));
         },
         {true, kStateTerminated, {kResp, kReqErr}, "ACK", 0}},
        {"INVITE client: the ACK of a retransmitted failure response",
         [] {
             InviteClient h("INVITE");
             EXPECT_TRUE(h.receiveResponse(486));
             h.world.failSends = true;
             return outcome(h, h.receiveResponse(486));
         },
         {true, kStateTerminated, {kResp, kReqErr}, "ACK", 0}},
        {"non-INVITE client: Timer E retransmission",
         [] {
             NonInviteClient h("OPTIONS");
             h.world.advance(h.transaction, 500);
             h.world.failSends = true;
             h.world.advance(h.transaction, 1000);
             return outcome(h, h.world.allTimerStepsSucceeded);
         },
         {true, kStateTerminated, {kReqErr}, "OPTIONS", 0}},
        {"INVITE server: last response on a retransmitted INVITE",
         [] {
             InviteServer h("INVITE");
             h.world.failSends = true;
             return outcome(h, h.receiveRequest("INVITE"));
         },
         {true, kStateTerminated, {kReq, kRespErr}, "100", 0}},
        {"INVITE server: Timer G retransmission",
         [] {
             InviteServer h("INVITE");
             EXPECT_TRUE(h.respond(486));
             h.world.failSends = true;
             h.world.advance(h.transaction, 500);
             return outcome(h, h.world.allTimerStepsSucceeded);
         },
         {true, kStateTerminated, {kReq, kRespErr}, "486", 0}},
        {"non-INVITE server: last response on a retransmitted request",
         [] {
             NonInviteServer h("OPTIONS");
             EXPECT_TRUE(h.respond(200));
             h.world.failSends = true;
             return outcome(h, h.receiveRequest("OPTIONS"));
         },
         {true, kStateTerminated, {kReq, kRespErr}, "200", 0}},
        // The sends a caller asks for report their failure to that caller.
        {"INVITE server: the user's response",
         [] {
             InviteServer h("INVITE");
             h.world.failSends = true;
             return outcome(h, h.respond(180));
         },
         {false, kStateProceeding, {kReq}, "INVITE", 0}},
        {"INVITE client: the request itself",
         [] {
             Harness<INVITEClientTransaction> h;
             h.world.failSends = true;
             return outcome(h, h.transaction.onSendRequest(*h.request, 1));
         },
         {false, kStateTerminated, {}, "none", 0}},
    };
    for (const SendFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const SendFailureOutcome got = c.run();
        EXPECT_EQ(got.stepResult, c.expected.stepResult);
        EXPECT_EQ(got.state, c.expected.state);
        EXPECT_EQ(got.notified, c.expected.notified);
        EXPECT_EQ(got.lastMessage, c.expected.lastMessage);
        EXPECT_EQ(got.pendingTimers, c.expected.pendingTimers);
    }
}

TEST(TransactionFaults, TransportErrorInputReachesTheUserInEveryWaitingState) {
    {
        // Timer B no longer runs in Proceeding: without the report the user would wait for ever.
        InviteClient h("INVITE", true);
        ASSERT_TRUE(h.receiveResponse(100));
        auto failed = std::make_unique<SipMessageExt>(*h.request);
        ASSERT_TRUE(h.transaction.onTransportError(failed));
        EXPECT_EQ(failed, nullptr);
        EXPECT_EQ(h.world.notificationTypes(), (std::vector<int>{kResp, kReqErr}));
        EXPECT_EQ(h.transaction.getState(), kStateTerminated);
    }
    {
        NonInviteClient h("OPTIONS");
        SipMessageSlot none;
        ASSERT_TRUE(h.transaction.onTransportError(none));
        ASSERT_EQ(h.world.notificationTypes(), std::vector<int>{kReqErr});
        EXPECT_EQ(h.world.notifications[0].message->getMethodName(), "OPTIONS");  // the stored request
        EXPECT_EQ(h.world.pendingTimerCount(), 0);
    }
    {
        InviteServer h("INVITE");
        SipMessageSlot none;
        ASSERT_TRUE(h.transaction.onTransportError(none));
        EXPECT_EQ(h.world.notificationTypes(), (std::vector<int>{kReq, kRespErr}));
        EXPECT_EQ(h.world.notifications[1].message->statusCode, 100);
    }
    {
        NonInviteServer h("OPTIONS");
        SipMessageSlot none;
        EXPECT_FALSE(h.transaction.onTransportError(none));  // Trying: nothing was sent yet
        ASSERT_TRUE(h.respond(200));
        ASSERT_TRUE(h.transaction.onTransportError(none));
        EXPECT_EQ(h.world.notificationTypes(), (std::vector<int>{kReq, kRespErr}));
        EXPECT_EQ(h.world.pendingTimerCount(), 0);
    }
}

TEST(TransactionFaults, TryingThatCannotBeSentFailsTheRequestAndKeepsIt) {
    Harness<INVITEServerTransaction> h;
    h.world.failSends = true;
    auto invite = std::make_unique<SipMessageExt>(*h.request);
    EXPECT_FALSE(h.transaction.onReceiveRequest(invite));
    EXPECT_NE(invite, nullptr);  // left for the caller's 500 answer
    EXPECT_TRUE(h.world.notifications.empty());
}

TEST(TransactionFaults, FailedTimeoutNotificationKeepsTheMessage) {
    InviteServer h("INVITE");
    ASSERT_TRUE(h.respond(486));
    h.world.failNotifications = true;
    h.world.advance(h.transaction, 32000);
    EXPECT_FALSE(h.world.allTimerStepsSucceeded);
    ASSERT_NE(h.transaction.getLastResponse(), nullptr);
    EXPECT_EQ(h.transaction.getLastResponse()->statusCode, 486);
}

}  // namespace
}  // namespace kel_sip::test
