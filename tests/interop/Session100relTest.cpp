// Our session controller places calls offering 100rel (RFC 3262) to SIPp as the answering side:
// the scenario checks on the wire which reliable provisional responses get a PRACK and what
// the PRACK names; the test checks the session events reported for them.
#include <gtest/gtest.h>

#include "SessionCaller.h"

namespace kel_sip::test {
namespace {

TEST(Session100rel, ReliableProvisionalsAreAcknowledgedInRSeqOrderAndOneSkippingANumberIsNot) {
    call(
        "session_100rel_rseq_order",
        [](Caller& caller, int id) {
            acknowledge(caller, id);
            ASSERT_TRUE(caller.endSession(id, nullptr));
        },
        {kEventSentInvite, kEventInvitingProceeding, kEventSentPrAck, kEventPrAckingSucceeded,
         kEventInvitingProceeding, kEventSentPrAck, kEventPrAckingSucceeded, kEventInvitingConfirmed, kEventSentAck,
         kEventSentBye},
        100, 1);
}

}  // namespace
}  // namespace kel_sip::test
