#include <gtest/gtest.h>

#include "TransactionTestKit.h"
#include "kel_sip/transaction/NonINVITEServerTransaction.h"

namespace kel_sip::test {
namespace {

struct NonInviteServer : Harness<NonINVITEServerTransaction> {
    explicit NonInviteServer(bool reliable = false) : Harness(reliable, {}, makeRequest("OPTIONS")) {
        request->peer = {"192.0.2.7", 40001};
        request->connectionId = 5;
        auto first = std::make_unique<SipMessageExt>(*request);
        EXPECT_TRUE(transaction.onReceiveRequest(first));
    }
    bool respond(int code, int parameter = 3) {
        return transaction.onSendResponse(*makeResponse(*request, code), parameter, false);
    }
    bool receiveAgain() {
        auto again = makeRequest("OPTIONS");
        return transaction.onReceiveRequest(again);
    }
};

TEST(NonINVITEServerTransaction, WalksTryingProceedingCompletedAndEndsAtTimerJOverUdp) {
    NonInviteServer h;
    EXPECT_EQ(h.transaction.getState(), kStateTrying);
    ASSERT_EQ(h.world.notificationTypes(), std::vector<int>{SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST});
    ASSERT_TRUE(h.receiveAgain());  // absorbed: there is nothing to answer with yet
    EXPECT_TRUE(h.world.sent.empty());

    ASSERT_TRUE(h.respond(100));
    EXPECT_EQ(h.transaction.getState(), kStateProceeding);
    ASSERT_TRUE(h.receiveAgain());
    ASSERT_TRUE(h.respond(200, 8));
    EXPECT_EQ(h.transaction.getState(), kStateCompleted);
    h.world.advance(h.transaction, 1000);
    ASSERT_TRUE(h.receiveAgain());
    EXPECT_EQ(h.world.sendTimes("OPTIONS", 100), (std::vector<long long>{0, 0}));
    EXPECT_EQ(h.world.sendTimes("OPTIONS", 200), (std::vector<long long>{0, 1000}));
    EXPECT_EQ(h.world.notifications.size(), 1u);
    EXPECT_EQ(h.transaction.getUserId(), 8);
    EXPECT_FALSE(h.respond(404));  // one final response only

    h.world.advance(h.transaction, 32000 - 1000 - 1);
    EXPECT_EQ(h.transaction.getState(), kStateCompleted);
    h.world.advance(h.transaction, 1);
    EXPECT_EQ(h.transaction.getState(), kStateTerminated);
    EXPECT_EQ(h.world.pendingTimerCount(), 0);
}

TEST(NonINVITEServerTransaction, FinalResponseEndsAtOnceOverTcpAndGoesToTheSource) {
    NonInviteServer h(true);
    ASSERT_TRUE(h.respond(200));
    EXPECT_EQ(h.transaction.getState(), kStateTerminated);
    EXPECT_EQ(h.world.pendingTimerCount(), 0);
    ASSERT_EQ(h.world.sent.size(), 1u);
    EXPECT_EQ(h.world.sent[0].message.peer, (SipPeerAddress{"192.0.2.7", 40001}));
    EXPECT_EQ(h.world.sent[0].message.connectionId, 5);
}

}  // namespace
}  // namespace kel_sip::test
