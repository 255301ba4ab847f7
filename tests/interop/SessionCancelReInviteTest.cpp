// Our session controller places calls to SIPp as the answering side and cancels them, lets
// them time out, or re-invites in them. Each scenario checks on the wire what the calling side
// sends and when (a CANCEL held back until the first response, a re-INVITE's retry after 491
// within its window), and the test checks the session events reported for it.
#include <chrono>

#include <gtest/gtest.h>

#include "SessionCaller.h"

namespace kel_sip::test {
namespace {

using namespace std::chrono_literals;

// A re-INVITE offering media in direction (RFC 3264 section 8.4).
void reInvite(Caller& caller, int id, const char* direction) {
    const std::string offer = std::string("v=0\r\no=- 1 2 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n") +
                              "m=audio 4002 RTP/AVP 0\r\na=" + direction + "\r\n";
    InviteOrder order;
    order.body = offer;
    ASSERT_TRUE(caller.reInvite(id, order));
}

TEST(SessionCancelReInvite, CancelAskedBeforeAnyResponseGoesWhenTheDelayedTryingComes) {
    call("session_cancel_held_back", [](Caller& caller, int id) {
        int state = -1;
        ASSERT_TRUE(caller.endSession(id, nullptr, &state));
        // SIPp's 100 is a second away: the CANCEL waits for it.
        EXPECT_EQ(state, kSessionInviting);
        ASSERT_TRUE(caller.waitForEvent(kEventInvitingFailed));
    }, {kEventSentInvite, kEventSentCancel, kEventInvitingFailed});
}

TEST(SessionCancelReInvite, CancelWhileRingingEndsWith487) {
    call("session_cancel_ringing", [](Caller& caller, int id) {
        ASSERT_TRUE(caller.waitForEvent(kEventInvitingProceeding));
        ASSERT_TRUE(caller.endSession(id, nullptr));
        ASSERT_TRUE(caller.waitForEvent(kEventInvitingFailed));
    }, {kEventSentInvite, kEventInvitingProceeding, kEventSentCancel, kEventInvitingFailed});
}

TEST(SessionCancelReInvite, OkCrossingTheCancelIsAcknowledgedAndEndedWithBye) {
    call("session_cancel_crossed_by_ok", [](Caller& caller, int id) {
        ASSERT_TRUE(caller.waitForEvent(kEventInvitingProceeding));
        ASSERT_TRUE(caller.endSession(id, nullptr));
        ASSERT_TRUE(caller.waitForEvent(kEventSentBye));
    }, {kEventSentInvite, kEventInvitingProceeding, kEventSentCancel, kEventSentAck, kEventSentBye});
}

TEST(SessionCancelReInvite, UnansweredInviteTimesOutAfter64TimesT1) {
    constexpr int kT1 = 50;
    std::chrono::steady_clock::duration waited{};
    call("session_invite_unanswered", [&](Caller& caller, int) {
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(caller.waitForEvent(kEventInvitingTransactionTimeout));
        waited = std::chrono::steady_clock::now() - sent;
    }, {kEventSentInvite, kEventInvitingTransactionTimeout}, kT1);
    // Timer B (RFC 3261 section 17.1.1.2): 3.2 s, with room for a loaded machine after it.
    EXPECT_GE(waited, std::chrono::milliseconds(64 * kT1 - 50));
    EXPECT_LE(waited, std::chrono::milliseconds(64 * kT1 + 1500));
}

TEST(SessionCancelReInvite, ReInviteToHoldAndBackCompletes) {
    call("session_reinvite_hold", [](Caller& caller, int id) {
        acknowledge(caller, id);
        reInvite(caller, id, "sendonly");
        acknowledge(caller, id, kEventReInvitingConfirmed, 1);
        reInvite(caller, id, "sendrecv");
        acknowledge(caller, id, kEventReInvitingConfirmed, 2);
        ASSERT_TRUE(caller.endSession(id, nullptr));
    }, {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentReInvite, kEventReInvitingConfirmed,
        kEventSentAck, kEventSentReInvite, kEventReInvitingConfirmed, kEventSentAck, kEventSentBye});
}

// Our re-INVITE to hold, refused 491 by SIPp's scenario, whose timing checks the retry; the
// retry is answered 200 and the call hung up. A re-INVITE of SIPp's that we refuse while ours
// runs reports nothing: SIPp checks the 491.
void reInviteRetriedAfter491(const std::string& scenario) {
    call(scenario, [](Caller& caller, int id) {
        acknowledge(caller, id);
        reInvite(caller, id, "sendonly");
        acknowledge(caller, id, kEventReInvitingConfirmed, 1);
        ASSERT_TRUE(caller.endSession(id, nullptr));
    }, {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentReInvite, kEventReInvitingFailed,
        kEventReInvitePendingRetry, kEventSentReInvite, kEventReInvitingConfirmed, kEventSentAck, kEventSentBye});
}

TEST(SessionCancelReInvite, ReInviteRefusedWith491IsRetriedWithinTheCallIdOwnersWindow) {
    reInviteRetriedAfter491("session_reinvite_glare");
}

TEST(SessionCancelReInvite, CrossingReInvitesAreBothRefused491AndOursIsRetriedWithinTheCallIdOwnersWindow) {
    reInviteRetriedAfter491("session_reinvite_crossed");
}

}  // namespace
}  // namespace kel_sip::test
