#include <gtest/gtest.h>

#include "TransactionTestKit.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/transaction/INVITEServerTransaction.h"

namespace kel_sip::test {
namespace {

struct InviteServer : Harness<INVITEServerTransaction> {
    explicit InviteServer(bool reliable = false) : Harness(reliable) {
        request->peer = {"192.0.2.7", 40001};
        request->connectionId = 5;
        request->addHeader(SipHeader::Timestamp, "54.21");
        auto first = std::make_unique<SipMessageExt>(*request);
        EXPECT_TRUE(transaction.onReceiveRequest(first));
        EXPECT_EQ(first, nullptr);
    }
    bool respond(int code, int parameter = 3, bool notifyFailureAck = false) {
        return transaction.onSendResponse(*makeResponse(*request, code), parameter, notifyFailureAck);
    }
    bool receive(const std::string& method) {
        auto message = makeRequest(method);
        if (method == "ACK") message->to.tag = "b0b";
        return transaction.onReceiveRequest(message);
    }
};

TEST(INVITEServerTransaction, AnswersTryingAndPassesTheInviteOn) {
    InviteServer h;
    EXPECT_EQ(h.transaction.getState(), kStateProceeding);
    ASSERT_EQ(h.world.sent.size(), 1u);
    const SipMessageExt& trying = h.world.sent[0].message;
    EXPECT_FALSE(trying.isRequest);
    EXPECT_EQ(trying.statusCode, 100);
    EXPECT_EQ(trying.callId, h.request->callId);
    EXPECT_EQ(trying.vias.front().getBranch(), h.request->vias.front().getBranch());
    // RFC 3261 section 8.2.6.1: the client measures the round trip with it.
    std::string text;
    trying.print(text);
    EXPECT_NE(text.find("\r\nTimestamp: 54.21\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("Timestamp"), text.rfind("Timestamp")) << text;  // once, not twice
    ASSERT_EQ(h.world.notificationTypes(), std::vector<int>{SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST});
    EXPECT_EQ(h.world.notifications[0].message->getMethodName(), "INVITE");
    EXPECT_EQ(h.world.notifications[0].transactionId, 7);
}

TEST(INVITEServerTransaction, RetransmittedInviteGetsTheLastProvisionalAgain) {
    InviteServer h;
    ASSERT_TRUE(h.receive("INVITE"));
    ASSERT_TRUE(h.respond(180));
    ASSERT_TRUE(h.receive("INVITE"));
    ASSERT_EQ(h.world.sent.size(), 4u);
    EXPECT_EQ(h.world.sent[1].message.statusCode, 100);
    EXPECT_EQ(h.world.sent[3].message.statusCode, 180);
    EXPECT_EQ(h.world.notifications.size(), 1u);  // retransmissions are not passed on
    EXPECT_EQ(h.transaction.getUserId(), 3);
}

TEST(INVITEServerTransaction, SuccessEndsAtOnce) {
    InviteServer h;
    ASSERT_TRUE(h.respond(200));
    EXPECT_EQ(h.transaction.getState(), kStateTerminated);
    EXPECT_EQ(h.world.pendingTimerCount(), 0);
}

TEST(INVITEServerTransaction, ResendsFailureWithIntervalCappedAtT2UntilTimerH) {
    InviteServer h;
    ASSERT_TRUE(h.respond(486, 9));
    EXPECT_EQ(h.transaction.getState(), kStateCompleted);
    expectRetransmissionsUntil(h, "INVITE", 486,
                               {0, 500, 1500, 3500, 7500, 11500, 15500, 19500, 23500, 27500, 31500}, 32000,
                               SIPTRANSACTION_EVMSGTYPE_SERVERTRANSACTIONTIMEOUT);
    EXPECT_EQ(h.world.notifications.back().message->statusCode, 486);
    EXPECT_EQ(h.transaction.getUserId(), 9);
}

TEST(INVITEServerTransaction, AckStopsRetransmissionAndIsAbsorbedUntilTimerI) {
    for (bool notifyFailureAck : {false, true}) {
        SCOPED_TRACE(notifyFailureAck);
        InviteServer h;
        ASSERT_TRUE(h.respond(486, 9, notifyFailureAck));
        h.world.advance(h.transaction, 1000);
        ASSERT_TRUE(h.receive("INVITE"));  // a retransmission in Completed gets the final again
        ASSERT_TRUE(h.receive("ACK"));
        EXPECT_EQ(h.transaction.getState(), kStateConfirmed);
        EXPECT_FALSE(h.transaction.isTimerRunning(kTimerG));
        EXPECT_FALSE(h.transaction.isTimerRunning(kTimerH));
        ASSERT_TRUE(h.receive("ACK"));
        ASSERT_TRUE(h.receive("INVITE"));  // late duplicates after the ACK are absorbed

        h.world.advance(h.transaction, 4999);
        EXPECT_EQ(h.transaction.getState(), kStateConfirmed);
        h.world.advance(h.transaction, 1);
        EXPECT_EQ(h.transaction.getState(), kStateTerminated);
        EXPECT_EQ(h.world.sendTimes("INVITE", 486), (std::vector<long long>{0, 500, 1000}));
        std::vector<int> expected{SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST};
        if (notifyFailureAck) expected.push_back(SIPTRANSACTION_EVMSGTYPE_RECVSIPREQUEST);
        ASSERT_EQ(h.world.notificationTypes(), expected);
        if (notifyFailureAck) {
            EXPECT_EQ(h.world.notifications[1].message->getMethodName(), "ACK");
        }
    }
}

TEST(INVITEServerTransaction, OverTcpNeitherRetransmitsNorWaitsAndAnswersTheSource) {
    InviteServer h(true);
    ASSERT_TRUE(h.respond(486));
    EXPECT_FALSE(h.transaction.isTimerRunning(kTimerG));
    EXPECT_TRUE(h.transaction.isTimerRunning(kTimerH));
    h.world.advance(h.transaction, 20000);
    EXPECT_EQ(h.world.sendTimes("INVITE", 486), std::vector<long long>{0});
    ASSERT_TRUE(h.receive("ACK"));
    EXPECT_EQ(h.transaction.getState(), kStateTerminated);
    EXPECT_EQ(h.world.pendingTimerCount(), 0);
    for (const SentMessage& s : h.world.sent) {
        EXPECT_EQ(s.message.peer, (SipPeerAddress{"192.0.2.7", 40001}));
        EXPECT_EQ(s.message.connectionId, 5);
    }
}

TEST(INVITEServerTransaction, UdpResponsesAreLeftToViaAddressing) {
    InviteServer h;
    ASSERT_TRUE(h.respond(180));
    for (const SentMessage& s : h.world.sent) EXPECT_TRUE(s.message.peer.empty());
}

TEST(INVITEServerTransaction, TakesResponsesOnlyInProceeding) {
    InviteServer h;
    ASSERT_TRUE(h.respond(486));
    EXPECT_FALSE(h.respond(200));
    EXPECT_EQ(h.world.sent.size(), 2u);
}

TEST(INVITEServerTransaction, AckBeforeAFailureResponseIsRefused) {
    InviteServer h;
    EXPECT_FALSE(h.receive("ACK"));
}

}  // namespace
}  // namespace kel_sip::test
