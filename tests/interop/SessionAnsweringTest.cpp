// Calls SIPp places to our session controller (SessionAnswerer.h): the 2xx retransmission
// until the ACK, BYE and CANCEL received, reliable provisional responses, UPDATE and INFO.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SessionAnswerer.h"

namespace kel_sip::test {
namespace {

using namespace std::chrono_literals;
using tessaly_interop::Logged;

constexpr int kT1 = kAnswererT1;
constexpr int kT2 = kAnswererT2;

bool isOkToInvite(const Logged& m) {
    return m.received && m.startLine.rfind("SIP/2.0 200", 0) == 0 && m.cseq == "1 INVITE";
}

TEST(SessionAnswering, OkWithoutAckIsSentAgainFromT1UpToT2ThenEndedWithBye) {
    receiveCall(
        "answering_ack_withheld",
        [](Answerer& answerer) {
            answerer.answer({200});
            ASSERT_TRUE(answerer.waitForEvent(kEventAckWaitingTimeout, 1, 20s));
        },
        {kEventInvited, kEventSentInviteFinalResponse, kEventSentBye, kEventAckWaitingTimeout},
        {.check = [](const std::vector<Logged>& log) {
            std::vector<double> oks;
            double bye = -1;
            for (const Logged& m : log) {
                if (isOkToInvite(m)) oks.push_back(m.at);
                if (m.received && m.startLine.rfind("BYE ", 0) == 0) bye = m.at;
            }
            // RFC 3261 section 13.3.1.4: T1, 2*T1, 4*T1 = T2, then T2 until 64*T1.
            ASSERT_GE(oks.size(), 10u);
            double expected = kT1;
            for (std::size_t i = 1; i < oks.size(); ++i) {
                EXPECT_NEAR(oks[i] - oks[i - 1], expected, expected * 0.2) << "interval " << i;
                expected = std::min(expected * 2, static_cast<double>(kT2));
            }
            ASSERT_GE(bye, 0) << "no BYE";
            EXPECT_NEAR(bye - oks.front(), 64.0 * kT1, 64.0 * kT1 * 0.2);
        }});
}

TEST(SessionAnswering, ByeBeforeTheAckIsAnsweredAndEndsTheCall) {
    receiveCall(
        "answering_bye_before_ack",
        [](Answerer& answerer) {
            answerer.answer({200});
            ASSERT_TRUE(answerer.waitForEvent(kEventReceivedBye));
        },
        {kEventInvited, kEventSentInviteFinalResponse, kEventReceivedBye});
}

TEST(SessionAnswering, ByeWhileRingingIsRefusedAndCancelEndsTheInviteWith487) {
    receiveCall(
        "answering_cancel",
        [](Answerer& answerer) {
            answerer.answer({180});
            ASSERT_TRUE(answerer.waitForEvent(kEventCanceled));
        },
        {kEventInvited, kEventSentInviteProvisionalResponse, kEventCanceled});
}

TEST(SessionAnswering, AnsweredAcknowledgedAndEndedLeavesNoDialog) {
    receiveCall(
        "answering_ack_bye",
        [](Answerer& answerer) {
            answerer.answer({180, 200});
            ASSERT_TRUE(answerer.waitForEvent(kEventReceivedBye));
        },
        {kEventInvited, kEventSentInviteProvisionalResponse, kEventSentInviteFinalResponse, kEventAcked,
         kEventReceivedBye},
        {.check = [](const std::vector<Logged>& log) {
            // The ACK came at once: the 200 did not go out again.
            EXPECT_EQ(std::count_if(log.begin(), log.end(), isOkToInvite), 1);
        }});
}

// The times SIPp received responses whose start line begins with status, in order.
std::vector<double> timesOf(const std::vector<Logged>& log, const char* status) {
    std::vector<double> times;
    for (const Logged& m : log)
        if (m.received && m.startLine.rfind(status, 0) == 0) times.push_back(m.at);
    return times;
}

SessionResponse answerWithSdp() {
    SessionResponse response;
    response.statusCode = 200;
    response.body = kAnswerSdp;
    return response;
}

TEST(SessionAnswering, ReliableRingingWithoutPrAckIsSentAgainFromT1DoublingThenAnswered504) {
    receiveCall(
        "answering_100rel_prack_withheld",
        [](Answerer& answerer) {
            answerer.setTerm100relProcessType(1);
            answerer.answer({180});
            ASSERT_TRUE(answerer.waitForEvent(kEventPrAckWaitingTimeout, 1, 20s));
        },
        {kEventInvited, kEventSentInviteProvisionalResponse, kEventSentInviteErrorResponse,
         kEventPrAckWaitingTimeout},
        {.check = [](const std::vector<Logged>& log) {
            const std::vector<double> ringing = timesOf(log, "SIP/2.0 180");
            const std::vector<double> timeout = timesOf(log, "SIP/2.0 504");
            // RFC 3262 section 3: T1, 2*T1, 4*T1 ... without a cap; 504 at 64*T1.
            ASSERT_GE(ringing.size(), 6u);
            double expected = kT1;
            for (std::size_t i = 1; i < ringing.size(); ++i) {
                EXPECT_NEAR(ringing[i] - ringing[i - 1], expected, expected * 0.2) << "interval " << i;
                expected *= 2;
            }
            ASSERT_EQ(timeout.size(), 1u);
            EXPECT_NEAR(timeout.front() - ringing.front(), 64.0 * kT1, 64.0 * kT1 * 0.1);
        }});
}

TEST(SessionAnswering, PrAckOfAnRSeqNeverSentGets481AndTheRightOneEndsTheRetransmission) {
    receiveCall(
        "answering_100rel_prack",
        [](Answerer& answerer) {
            answerer.setTerm100relProcessType(2);
            answerer.answer({180});
            ASSERT_TRUE(answerer.waitForEvent(kEventPrAcked));
            SessionResponse ok = answerWithSdp();
            ok.contact = &answerer.contact;
            ASSERT_TRUE(answerer.respondSession(answerer.callId(), ok));
            ASSERT_TRUE(answerer.waitForEvent(kEventReceivedBye));
        },
        {kEventInvited, kEventSentInviteProvisionalResponse, kEventPrAcked, kEventSentInviteFinalResponse,
         kEventAcked, kEventReceivedBye},
        {.check = [](const std::vector<Logged>& log) {
            const std::vector<double> refused = timesOf(log, "SIP/2.0 481");
            const std::vector<double> ringing = timesOf(log, "SIP/2.0 180");
            // The 481 (with the copies the PRACK's retransmissions got), and the 180 still went
            // out after it.
            ASSERT_FALSE(refused.empty());
            EXPECT_TRUE(std::any_of(ringing.begin(), ringing.end(), [&](double at) { return at > refused.front(); }));
        }});
}

TEST(SessionAnswering, EarlyUpdateWithSdpIsAnsweredWithSdp) {
    receiveCall(
        "answering_update_early",
        [](Answerer& answerer) {
            answerer.answer({180});
            ASSERT_TRUE(answerer.waitForEvent(kEventUpdated));
            ASSERT_TRUE(answerer.respondUpdate(answerer.callId(), answerWithSdp()));
            SessionResponse ok = answerWithSdp();
            ok.contact = &answerer.contact;
            ASSERT_TRUE(answerer.respondSession(answerer.callId(), ok));
            ASSERT_TRUE(answerer.waitForEvent(kEventReceivedBye));
        },
        {kEventInvited, kEventSentInviteProvisionalResponse, kEventUpdated, kEventSentUpdateFinalResponse,
         kEventSentInviteFinalResponse, kEventAcked, kEventReceivedBye});
}

TEST(SessionAnswering, InfoInTheCallIsReportedAndAnswered200) {
    receiveCall(
        "answering_info",
        [](Answerer& answerer) {
            answerer.answer({200});
            ASSERT_TRUE(answerer.waitForEvent(kEventInfoed));
            SessionResponse ok;
            ok.statusCode = 200;
            ASSERT_TRUE(answerer.sendInfoResponse(answerer.callId(), ok));
            ASSERT_TRUE(answerer.waitForEvent(kEventReceivedBye));
        },
        {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventInfoed, kEventSentInfoFinalResponse,
         kEventReceivedBye});
}

TEST(SessionAnswering, ReInvitesToHoldAndBackAreAnsweredByTheUserAgentAndAcknowledged) {
    receiveCall(
        "answering_reinvite_hold",
        [](Answerer& answerer) {
            answerer.answer({200});
            answerer.answerReInvite(1, "recvonly");
            answerer.answerReInvite(2, "sendrecv");
            ASSERT_TRUE(answerer.waitForEvent(kEventReceivedBye));
        },
        {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventReInvited, kEventSentReInviteFinalResponse,
         kEventReAcked, kEventReInvited, kEventSentReInviteFinalResponse, kEventReAcked, kEventReceivedBye});
}

TEST(SessionAnswering, CrossingReInvitesAreBothRefused491AndOursIsRetriedWithinTwoSeconds) {
    receiveCall(
        "answering_reinvite_crossed",
        [](Answerer& answerer) {
            answerer.answer({200});
            ASSERT_TRUE(answerer.waitForEvent(kEventAcked));
            answerer.reInvite("sendonly");
            ASSERT_TRUE(answerer.waitForEvent(kEventReInvitingConfirmed));
            ASSERT_TRUE(answerer.acknowledge(answerer.callId(), {}));
            ASSERT_TRUE(answerer.waitForEvent(kEventReceivedBye));
        },
        // SIPp's re-INVITE, refused while ours runs, reports nothing: SIPp checks the 491.
        {kEventInvited, kEventSentInviteFinalResponse, kEventAcked, kEventSentReInvite, kEventReInvitingFailed,
         kEventReInvitePendingRetry, kEventSentReInvite, kEventReInvitingConfirmed, kEventSentAck,
         kEventReceivedBye},
        {.check = [](const std::vector<Logged>& log) {
            const auto refused = std::find_if(log.begin(), log.end(), [](const Logged& m) {
                return !m.received && m.startLine.rfind("SIP/2.0 491", 0) == 0;
            });
            ASSERT_NE(refused, log.end());
            const auto retried = std::find_if(refused, log.end(), [](const Logged& m) {
                return m.received && m.startLine.rfind("INVITE ", 0) == 0;
            });
            ASSERT_NE(retried, log.end());
            // RFC 3261 section 14.1: 0 to 2 s for the side that did not choose the Call-ID; the
            // owner's window begins at 2.1 s.
            EXPECT_LT(retried->at - refused->at, 2100.0);
        }});
}

}  // namespace
}  // namespace kel_sip::test
