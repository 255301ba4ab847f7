#include <gtest/gtest.h>

#include "TransactionTestKit.h"
#include "kel_sip/transaction/NonINVITEClientTransaction.h"

namespace kel_sip::test {
namespace {

struct NonInviteClient : Harness<NonINVITEClientTransaction> {
    explicit NonInviteClient(bool reliable = false, TransactionTimerValues values = {})
        : Harness(reliable, values, makeRequest("OPTIONS")) {
        EXPECT_TRUE(transaction.onSendRequest(*request, 42));
    }
    bool receive(int code) {
        auto response = makeResponse(*request, code);
        return transaction.onReceiveResponse(response);
    }
};

struct RetransmitCase {
    TransactionTimerValues values;
    std::vector<long long> times;
    long long timerF;
};

TEST(NonINVITEClientTransaction, RetransmitsWithIntervalCappedAtT2UntilTimerFOverUdp) {
    const RetransmitCase cases[] = {
        {{500, 4000, 5000, 32000},
         {0, 500, 1500, 3500, 7500, 11500, 15500, 19500, 23500, 27500, 31500},
         32000},
        {{100, 300, 5000, 32000}, {0, 100, 300, 600, 900, 1200, 1500, 1800, 2100, 2400, 2700, 3000,
                                   3300, 3600, 3900, 4200, 4500, 4800, 5100, 5400, 5700, 6000, 6300}, 6400},
    };
    for (const RetransmitCase& c : cases) {
        SCOPED_TRACE(c.values.t1);
        NonInviteClient h(false, c.values);
        EXPECT_EQ(h.transaction.getState(), kStateTrying);
        expectRetransmissionsUntil(h, "OPTIONS", 0, c.times, c.timerF, SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT);
        EXPECT_EQ(h.world.notifications.back().message->getMethodName(), "OPTIONS");
    }
}

TEST(NonINVITEClientTransaction, RetransmitsEveryT2AfterAProvisional) {
    NonInviteClient h;
    h.world.advance(h.transaction, 600);
    ASSERT_TRUE(h.receive(100));
    EXPECT_EQ(h.transaction.getState(), kStateProceeding);
    EXPECT_EQ(h.transaction.getInterval(), 4000);
    // The retransmission already due at 1.5 s keeps its time; from there on every 4 s.
    expectRetransmissionsUntil(h, "OPTIONS", 0,
                               {0, 500, 1500, 5500, 9500, 13500, 17500, 21500, 25500, 29500}, 32000,
                               SIPTRANSACTION_EVMSGTYPE_CLIENTTRANSACTIONTIMEOUT);
}

TEST(NonINVITEClientTransaction, FinalResponseAbsorbsRetransmissionsUntilTimerKOverUdp) {
    for (int firstCode : {0, 180}) {
        SCOPED_TRACE(firstCode);
        NonInviteClient h;
        if (firstCode != 0) {
            ASSERT_TRUE(h.receive(firstCode));
        }
        h.world.advance(h.transaction, 700);
        ASSERT_TRUE(h.receive(404));
        EXPECT_EQ(h.transaction.getState(), kStateCompleted);
        EXPECT_FALSE(h.transaction.isTimerRunning(kTimerE));
        EXPECT_FALSE(h.transaction.isTimerRunning(kTimerF));
        ASSERT_TRUE(h.receive(404));
        ASSERT_TRUE(h.receive(200));
        EXPECT_EQ(h.world.notifications.size(), firstCode != 0 ? 2u : 1u);
        EXPECT_EQ(h.world.notifications.back().message->statusCode, 404);

        h.world.advance(h.transaction, 4999);
        EXPECT_EQ(h.transaction.getState(), kStateCompleted);
        h.world.advance(h.transaction, 1);
        EXPECT_EQ(h.transaction.getState(), kStateTerminated);
        EXPECT_EQ(h.world.sendTimes("OPTIONS"), (std::vector<long long>{0, 500}));
    }
}

TEST(NonINVITEClientTransaction, SendsOnceAndEndsWithTheFinalResponseOverTcp) {
    NonInviteClient h(true);
    EXPECT_FALSE(h.transaction.isTimerRunning(kTimerE));
    h.world.advance(h.transaction, 31000);
    ASSERT_TRUE(h.receive(200));
    EXPECT_EQ(h.transaction.getState(), kStateTerminated);
    EXPECT_EQ(h.world.pendingTimerCount(), 0);
    EXPECT_EQ(h.world.sendTimes("OPTIONS"), std::vector<long long>{0});
}

TEST(NonINVITEClientTransaction, HeaderLengthErrorActsAsAResponse) {
    NonInviteClient h(true);
    auto response = makeResponse(*h.request, 200);
    ASSERT_TRUE(h.transaction.onHeaderLengthError(response));
    EXPECT_EQ(h.transaction.getState(), kStateTerminated);
    EXPECT_EQ(h.world.notificationTypes(), std::vector<int>{SIPTRANSACTION_EVMSGTYPE_RECVSIPRESPONSE});
}

}  // namespace
}  // namespace kel_sip::test
