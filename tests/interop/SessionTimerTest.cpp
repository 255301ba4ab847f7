// Session timers (RFC 4028) with SIPp calling our session controller (SessionAnswerer.h): the
// 422 to an interval below our Min-SE, the 420 when the timer is required and we do not run
// it, and, with our side as refresher, the refresh at half the interval and the BYE of a
// session whose refresh is not answered, measured on the wire.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SessionAnswerer.h"

namespace kel_sip::test {
namespace {

using namespace std::chrono_literals;
using tessaly_interop::Logged;

TEST(SessionTimer, IntervalBelowOurMinSEIsRefusedWith422AndTheRetryAnswered) {
    receiveCall(
        "session_timer_too_small",
        [](Answerer& answerer) {
            answerer.answer({200});
            ASSERT_TRUE(answerer.waitForEvent(kEventReceivedBye));
        },
        {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventReceivedBye},
        {.setup = [](Answerer& answerer) {
             answerer.setTermSessionTimerProcessType(1);
             answerer.setMinSE(90);
             answerer.setSessionTimerStartType(1);
         }});
}

TEST(SessionTimer, RequiredTimerIsRefusedWith420WhenWeDoNotRunIt) {
    // ProcessSessionTimer on, process type 0: this side has no session timer to offer.
    receiveCall("session_timer_unsupported", [](Answerer&) {}, {});
}

// The first message of each transaction whose start line begins with start, as SIPp logged it
// (sent or received as asked): retransmissions left out.
std::vector<double> firstOf(const std::vector<Logged>& log, bool received, const std::string& start) {
    std::vector<double> times;
    std::string lastCSeq;
    for (const Logged& m : log) {
        if (m.received != received || m.startLine.rfind(start, 0) != 0 || m.cseq == lastCSeq) continue;
        lastCSeq = m.cseq;
        times.push_back(m.at);
    }
    return times;
}

TEST(SessionTimer, WeRefreshAtHalfTheIntervalAndEndAnUnrefreshedSessionWithBye) {
    receiveCall(
        "session_timer_refresh",
        [](Answerer& answerer) {
            answerer.answer({200});
            ASSERT_TRUE(answerer.waitForEvent(kEventSessionTimerExpired, 1, 35s));
        },
        {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventSentReInvite, kEventSessionRefresh,
         kEventSentAck, kEventSentReInvite, kEventSessionRefresh, kEventSentBye,
         kEventSessionTimerExpired},
        {.setup =
             [](Answerer& answerer) {
                 answerer.setTermSessionTimerProcessType(1);
                 answerer.setSessionTimerStartType(1);
             },
         .check =
             [](const std::vector<Logged>& log) {
                 const std::vector<double> oks = firstOf(log, true, "SIP/2.0 200");
                 const std::vector<double> refreshes = firstOf(log, true, "INVITE ");
                 const std::vector<double> answers = firstOf(log, false, "SIP/2.0 200");
                 const std::vector<double> byes = firstOf(log, true, "BYE ");
                 ASSERT_GE(oks.size(), 1u);
                 ASSERT_EQ(refreshes.size(), 2u);
                 ASSERT_GE(answers.size(), 1u);
                 ASSERT_EQ(byes.size(), 1u);
                 // Half of 20 s after each 2xx; the BYE at 20 - 20 / 3 = 14 s after the last.
                 EXPECT_NEAR(refreshes[0] - oks[0], 10000, 500);
                 EXPECT_NEAR(refreshes[1] - answers[0], 10000, 500);
                 EXPECT_NEAR(byes[0] - answers[0], 14000, 500);
             },
         .sippSeconds = 40});
}

}  // namespace
}  // namespace kel_sip::test
