#include <gtest/gtest.h>

#include "TransactionTestKit.h"
#include "kel_sip/transaction/INVITEClientTransaction.h"

namespace kel_sip::test {
namespace {

struct InviteClient : Harness<INVITEClientTransaction> {
    explicit InviteClient(bool reliable = false, TransactionTimerValues values = {}) : Harness(reliable, values) {
        EXPECT_TRUE(transaction.onSendRequest(*request, 42));
    }
    bool receive(int code, bool headerLengthError = false) {
        auto response = makeResponse(*request, code);
        return headerLengthError ? transaction.onHeaderLengthError(response) : transaction.onReceiveResponse(response);
    }
};

struct RetransmitCase {
    TransactionTimerValues values;
    std::vector<long long> inviteTimes;
    long long timerB;
};

TEST(INVITEClientTransaction, RetransmitsAtDoublingIntervalsUntilTimerBOverUdp) {
    const RetransmitCase cases[] = {
        {{500, 4000, 5000, 32000}, {0, 500, 1500, 3500, 7500, 15500, 31500}, 32000},
        // A is not capped at T2: only the request's timeout ends it.
        {{100, 200, 5000, 32000}, {0, 100, 300, 700, 1500, 3100, 6300}, 6400},
    };
    for (const RetransmitCase& c : cases) {
        SCOPED_TRACE(c.values.t1);
        InviteClient h(false, c.values);
        EXPECT_EQ(h.transaction.getState(), kStateCalling);
        expectRetransmissionsUntil(h, "INVITE", 0, c.inviteTimes, c.timerB, SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT);
        EXPECT_EQ(h.world.notifications.back().message->getMethodName(), "INVITE");  // the stored request
        EXPECT_EQ(h.transaction.getUserId(), 42);
    }
}

TEST(INVITEClientTransaction, SendsOnceOverTcpAndStillTimesOut) {
    InviteClient h(true);
    EXPECT_FALSE(h.transaction.isTimerRunning(kTimerA));
    h.world.advance(h.transaction, 32000);
    EXPECT_EQ(h.world.sendTimes("INVITE"), std::vector<long long>{0});
    EXPECT_EQ(h.world.notificationTypes(), std::vector<int>{SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT});
    EXPECT_EQ(h.transaction.getState(), kStateTerminated);
}

TEST(INVITEClientTransaction, ProvisionalStopsRetransmissionsAndTimerB) {
    InviteClient h;
    h.world.advance(h.transaction, 700);
    ASSERT_TRUE(h.receive(180));
    EXPECT_EQ(h.transaction.getState(), kStateProceeding);
    EXPECT_EQ(h.world.pendingTimerCount(), 0);
    ASSERT_TRUE(h.receive(183));

    h.world.advance(h.transaction, 100000);
    EXPECT_EQ(h.world.sendTimes("INVITE"), (std::vector<long long>{0, 500}));
    ASSERT_EQ(h.world.notificationTypes(),
              (std::vector<int>{SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE, SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE}));
    EXPECT_EQ(h.world.notifications[1].message->statusCode, 183);
    EXPECT_EQ(h.transaction.getState(), kStateProceeding);
}

TEST(INVITEClientTransaction, SuccessEndsAtOnceAndLeavesTheAckToTheUser) {
    for (int firstCode : {0, 180}) {
        SCOPED_TRACE(firstCode);
        InviteClient h;
        if (firstCode != 0) {
            ASSERT_TRUE(h.receive(firstCode));
        }
        ASSERT_TRUE(h.receive(200));
        EXPECT_EQ(h.transaction.getState(), kStateTerminated);
        EXPECT_EQ(h.world.pendingTimerCount(), 0);
        EXPECT_TRUE(h.world.sendTimes("ACK").empty());
        EXPECT_EQ(h.world.notifications.back().message->statusCode, 200);
    }
}

TEST(INVITEClientTransaction, AcknowledgesEachFailureRetransmissionUntilTimerDOverUdp) {
    for (int firstCode : {0, 180}) {
        SCOPED_TRACE(firstCode);
        InviteClient h;
        if (firstCode != 0) {
            ASSERT_TRUE(h.receive(firstCode));
        }
        h.world.advance(h.transaction, 100);
        ASSERT_TRUE(h.receive(486));
        EXPECT_EQ(h.transaction.getState(), kStateCompleted);
        EXPECT_FALSE(h.transaction.isTimerRunning(kTimerA));
        EXPECT_FALSE(h.transaction.isTimerRunning(kTimerB));

        ASSERT_EQ(h.world.sent.size(), 2u);
        const SipMessageExt& ack = h.world.sent[1].message;
        EXPECT_EQ(ack.getMethodName(), "ACK");
        EXPECT_EQ(ack.cseq.getNumber(), 1);
        EXPECT_EQ(ack.cseq.getMethodName(), "ACK");
        EXPECT_EQ(ack.to.tag, "b0b");  // RFC 3261 section 17.1.1.3: the response's To
        EXPECT_EQ(ack.vias.front().getBranch(), h.request->vias.front().getBranch());
        EXPECT_TRUE(ack.requestUri.equals(h.request->requestUri));

        h.world.advance(h.transaction, 1000);
        ASSERT_TRUE(h.receive(486));
        ASSERT_TRUE(h.receive(486));
        ASSERT_TRUE(h.receive(180));  // anything else is dropped
        EXPECT_EQ(h.world.sendTimes("ACK"), (std::vector<long long>{100, 1100, 1100}));
        EXPECT_EQ(h.world.notifications.size(), firstCode != 0 ? 2u : 1u);
        EXPECT_EQ(h.world.notifications.back().message->statusCode, 486);

        h.world.advance(h.transaction, 32000 - 1000 - 1);
        EXPECT_EQ(h.transaction.getState(), kStateCompleted);
        h.world.advance(h.transaction, 1);
        EXPECT_EQ(h.transaction.getState(), kStateTerminated);
        EXPECT_EQ(h.world.sendTimes("INVITE").size(), 1u);
    }
}

TEST(INVITEClientTransaction, AcknowledgesFailureAndEndsAtOnceOverTcp) {
    InviteClient h(true);
    ASSERT_TRUE(h.receive(486));
    EXPECT_EQ(h.world.sendTimes("ACK"), std::vector<long long>{0});
    EXPECT_EQ(h.transaction.getState(), kStateTerminated);
    EXPECT_EQ(h.world.pendingTimerCount(), 0);
}

TEST(INVITEClientTransaction, HeaderLengthErrorFailureIsReportedWithoutAck) {
    InviteClient h;
    ASSERT_TRUE(h.receive(486, true));
    EXPECT_EQ(h.transaction.getState(), kStateCompleted);
    EXPECT_EQ(h.world.notificationTypes(), std::vector<int>{SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE});
    // A retransmission that is again too long still has no ACK to answer with: the INVITE
    // must not go out again in its place.
    ASSERT_TRUE(h.receive(486, true));
    EXPECT_TRUE(h.world.sendTimes("ACK").empty());
    EXPECT_EQ(h.world.sent.size(), 1u);
    // A retransmission read whole is acknowledged.
    ASSERT_TRUE(h.receive(486));
    EXPECT_EQ(h.world.sendTimes("ACK"), std::vector<long long>{0});
}

TEST(INVITEClientTransaction, FailedNotificationLeavesTheResponseInItsSlot) {
    InviteClient h;
    h.world.failNotifications = true;
    auto response = makeResponse(*h.request, 180);
    EXPECT_FALSE(h.transaction.onReceiveResponse(response));
    EXPECT_NE(response, nullptr);
}

TEST(INVITEClientTransaction, RefusesASecondRequestAndResponsesOnceTerminated) {
    InviteClient h;
    EXPECT_FALSE(h.transaction.onSendRequest(*h.request, 1));
    ASSERT_TRUE(h.receive(200));
    EXPECT_FALSE(h.receive(200));
}

}  // namespace
}  // namespace kel_sip::test
