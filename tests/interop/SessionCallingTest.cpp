// Our session controller places calls to SIPp as the answering side over UDP. Each scenario
// checks on the wire what the calling side must send (one ACK with the INVITE's CSeq and the
// 2xx's Contact as Request-URI, an ACK for a repeated 2xx, ACK and BYE for a second fork's
// 2xx), and the test checks the session events reported for it.
#include <gtest/gtest.h>

#include "SessionCaller.h"
#include "kel_sip/syntax/SipMethod.h"

namespace kel_sip::test {
namespace {

TEST(SessionCalling, RingingThenAnsweredIsAcknowledgedOnceAndHungUp) {
    call("session_invite_ringing_answered", [](Caller& caller, int id) {
        acknowledge(caller, id);
        ASSERT_TRUE(caller.endSession(id, nullptr));
    }, {kEventSentInvite, kEventInvitingProceeding, kEventInvitingConfirmed, kEventSentAck, kEventSentBye});
}

TEST(SessionCalling, BusyEndsTheSessionAsFailed) {
    call("session_invite_busy", [](Caller& caller, int) { ASSERT_TRUE(caller.waitForEvent(kEventInvitingFailed)); },
         {kEventSentInvite, kEventInvitingFailed});
}

TEST(SessionCalling, RedirectEndsTheSessionAsFailed) {
    call("session_invite_redirected",
         [](Caller& caller, int) { ASSERT_TRUE(caller.waitForEvent(kEventInvitingFailed)); },
         {kEventSentInvite, kEventInvitingFailed});
}

TEST(SessionCalling, RetransmittedOkIsAcknowledgedAgainWithoutASecondEvent) {
    call("session_invite_ack_lost", [](Caller& caller, int id) {
        acknowledge(caller, id);
        // Lets SIPp tell our repeated ACK from a retransmission of the first (see the scenario).
        ASSERT_TRUE(caller.sendDialogRequest(id, "OPTIONS", {}, {}, nullptr));
        ASSERT_TRUE(caller.waitForEvent(kEventReceivedBye));
    }, {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventReceivedBye});
}

TEST(SessionCalling, OkFromASecondForkIsAcknowledgedAndEndedWithBye) {
    call("session_invite_forked", [](Caller& caller, int id) {
        acknowledge(caller, id);
        // The fork's BYE is answered outside any dialog; then the first call is hung up.
        ASSERT_TRUE(caller.waitForOrphanResponse(SipMethod::Bye));
        ASSERT_TRUE(caller.endSession(id, nullptr));
    }, {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentBye});
}

}  // namespace
}  // namespace kel_sip::test
