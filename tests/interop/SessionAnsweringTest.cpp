// SIPp calls our session controller over UDP (T1 = 100 ms, T2 = 400 ms) and a test thread
// plays the user agent, answering through respondSession once the session reports the INVITE
// (not from inside the event hook: it runs under the dialog's entry lock). SIPp's exit status
// tells whether what we sent is what its scenario expects; the test checks the events, the
// times SIPp logged our messages at, and that no dialog is left when the call is over.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipUDPTransport.h"
#include "kel_sip/usage/SipSessionController.h"

namespace kel_sip::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using tessaly_interop::Logged;

constexpr int kT1 = 100;
constexpr int kT2 = 400;
constexpr const char* kAnswerSdp =
    "v=0\r\no=- 2 2 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4002 RTP/AVP 0\r\n";

// The controller with the session events recorded and the last call's dialog ID number kept.
class Answerer : public SipSessionController {
public:
    explicit Answerer(SipTransactionController& controller) : SipSessionController(controller) {
        init(1, "127.0.0.1");
        registerMethods({SipMethod::Invite, SipMethod::Ack, SipMethod::Bye, SipMethod::Cancel, SipMethod::Prack,
                         SipMethod::Update, SipMethod::Info});
        setTimerT1(kT1);
        setTimerT2(kT2);
    }
    ~Answerer() override { clean(); }

    bool onSipSessionEvent(int event, SipSession& session, const SipMessageExt* message, int parameter) override {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(event);
            if (event == kEventInvited) id_ = session.dialog().getId();
            changed_.notify_all();
        }
        return SipSessionController::onSipSessionEvent(event, session, message, parameter);
    }

    // Waits until event has been reported; false after limit.
    bool waitForEvent(int event, std::chrono::milliseconds limit = 10s) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, limit,
                                 [&] { return std::find(events_.begin(), events_.end(), event) != events_.end(); });
    }
    std::vector<int> events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    // Waits for the INVITE, then answers it with each code in turn (a 2xx with SDP).
    void answer(const std::vector<int>& codes) {
        ASSERT_TRUE(waitForEvent(kEventInvited));
        for (const int code : codes) {
            SessionResponse response;
            response.statusCode = code;
            response.contact = &contact;
            if (code >= 200) response.body = kAnswerSdp;
            ASSERT_TRUE(respondSession(callId(), response)) << code;
        }
    }
    // The dialog ID number of the last call.
    int callId() {
        std::lock_guard<std::mutex> lock(mutex_);
        return id_;
    }
    // Waits until the controller holds no dialog; false after 5 s.
    bool waitForNoDialog() {
        const auto deadline = std::chrono::steady_clock::now() + 5s;
        while (getDialogCount() != 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }

    SipAddress contact;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> events_;
    int id_ = 0;
};

// SIPp runs scenario against our controller; drive plays the user agent. The events reported
// must be expected, no dialog may be left, and check gets SIPp's message log.
void receiveCall(const std::string& scenario, const std::function<void(Answerer&)>& drive,
                 const std::vector<int>& expected, const std::function<void(const std::vector<Logged>&)>& check = {}) {
    const fs::path dir = tessaly_interop::freshDirectory(scenario);
    SipTransactionControllerImpl controller(nullptr);
    Answerer answerer(controller);
    controller.setTimers(kT1, kT2, 500, 500);
    SipUDPTransport transport(controller, 0);
    ASSERT_TRUE(controller.init(2));
    ASSERT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    ASSERT_TRUE(controller.addUDPTransport(&transport));
    const std::string port = std::to_string(transport.getLocalAddress().getPort());
    const std::string contact = "<sip:uas@127.0.0.1:" + port + ">";
    answerer.contact.parse(contact.data(), static_cast<int>(contact.size()), true);

    const std::string file = std::string(TESSALY_INTEROP_DIR) + "/" + scenario + ".xml";
    std::vector<std::string> args =
        tessaly_interop::sippArguments(TESSALY_SIPP, file, tessaly_interop::freeUdpPort(), dir);
    args.insert(args.begin() + 1, "127.0.0.1:" + port);
    tessaly_interop::ChildProcess sipp(args, dir / "sipp.out");
    ASSERT_TRUE(sipp.started());
    drive(answerer);

    const int status = sipp.waitExit(30s);
    EXPECT_TRUE(answerer.waitForNoDialog()) << answerer.getDialogCount() << " dialogs left";
    EXPECT_EQ(answerer.events(), expected);
    transport.close();
    controller.clean();
    EXPECT_EQ(status, 0) << tessaly_interop::readText(dir / "errors.log")
                         << tessaly_interop::readText(dir / "messages.log");
    if (status == 0 && check) check(tessaly_interop::loggedMessages(dir / "messages.log"));
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

bool isOkToInvite(const Logged& m) {
    return m.received && m.startLine.rfind("SIP/2.0 200", 0) == 0 && m.cseq == "1 INVITE";
}

TEST(SessionAnswering, OkWithoutAckIsSentAgainFromT1UpToT2ThenEndedWithBye) {
    receiveCall(
        "answering_ack_withheld",
        [](Answerer& answerer) {
            answerer.answer({200});
            ASSERT_TRUE(answerer.waitForEvent(kEventAckWaitingTimeout, 20s));
        },
        {kEventInvited, kEventSentInviteFinalResponse, kEventSentBye, kEventAckWaitingTimeout},
        [](const std::vector<Logged>& log) {
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
        });
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
        [](const std::vector<Logged>& log) {
            // The ACK came at once: the 200 did not go out again.
            EXPECT_EQ(std::count_if(log.begin(), log.end(), isOkToInvite), 1);
        });
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
            ASSERT_TRUE(answerer.waitForEvent(kEventPrAckWaitingTimeout, 20s));
        },
        {kEventInvited, kEventSentInviteProvisionalResponse, kEventSentInviteErrorResponse,
         kEventPrAckWaitingTimeout},
        [](const std::vector<Logged>& log) {
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
        });
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
        [](const std::vector<Logged>& log) {
            const std::vector<double> refused = timesOf(log, "SIP/2.0 481");
            const std::vector<double> ringing = timesOf(log, "SIP/2.0 180");
            // The 481 (with the copies the PRACK's retransmissions got), and the 180 still went
            // out after it.
            ASSERT_FALSE(refused.empty());
            EXPECT_TRUE(std::any_of(ringing.begin(), ringing.end(), [&](double at) { return at > refused.front(); }));
        });
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

}  // namespace
}  // namespace kel_sip::test
