// Our session controller places calls to SIPp as the answering side over UDP. Each scenario
// checks on the wire what the calling side must send (one ACK with the INVITE's CSeq and the
// 2xx's Contact as Request-URI, an ACK for a repeated 2xx, ACK and BYE for a second fork's
// 2xx), and the test checks the session events reported for it.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
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

// The controller with the session events and the responses no dialog took recorded.
class Caller : public SipSessionController {
public:
    explicit Caller(SipTransactionController& controller) : SipSessionController(controller) {
        init(1, "127.0.0.1");
        registerMethods({SipMethod::Invite, SipMethod::Ack, SipMethod::Bye, SipMethod::Cancel});
        setInitialLocalSeqNo(41);
    }
    ~Caller() override { clean(); }

    bool onSipSessionEvent(int event, SipSession& session, const SipMessageExt* message, int parameter) override {
        record(events_, event);
        return SipSessionController::onSipSessionEvent(event, session, message, parameter);
    }
    bool onSipSessionControllerEvent(int event, const SipMessageExt& message, int serverTransactionId) override {
        if (!message.isRequest) record(orphanResponses_, message.cseq.getMethodKind());
        return SipSessionController::onSipSessionControllerEvent(event, message, serverTransactionId);
    }

    // Waits until value has been recorded in the events (or the orphan responses' methods).
    bool waitForEvent(int event) { return waitFor(events_, event); }
    bool waitForOrphanResponse(int methodKind) { return waitFor(orphanResponses_, methodKind); }
    std::vector<int> events() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }

private:
    void record(std::vector<int>& list, int value) {
        std::lock_guard<std::mutex> lock(mutex_);
        list.push_back(value);
        changed_.notify_all();
    }
    bool waitFor(const std::vector<int>& list, int value) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 10s, [&] { return std::find(list.begin(), list.end(), value) != list.end(); });
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> events_;
    std::vector<int> orphanResponses_;
};

// Calls SIPp running scenario; drive plays the user agent once the INVITE is out. SIPp's exit
// status tells whether what we sent is what the scenario expects; the events reported must
// be expected.
void call(const std::string& scenario, const std::function<void(Caller&, int)>& drive,
          const std::vector<int>& expected) {
    const fs::path dir = tessaly_interop::freshDirectory(scenario);
    const int sippPort = tessaly_interop::freeUdpPort();
    const std::string file = std::string(TESSALY_INTEROP_DIR) + "/" + scenario + ".xml";
    tessaly_interop::ChildProcess sipp(tessaly_interop::sippArguments(TESSALY_SIPP, file, sippPort, dir),
                                       dir / "sipp.out");
    ASSERT_TRUE(sipp.started());

    SipTransactionControllerImpl controller(nullptr);
    Caller caller(controller);
    controller.setTimers(100, 400, 500, 500);
    SipUDPTransport transport(controller, 0);
    ASSERT_TRUE(controller.init(2));
    ASSERT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    ASSERT_TRUE(controller.addUDPTransport(&transport));

    SipDialogStart start;
    const std::string target = "sip:uas@127.0.0.1:" + std::to_string(sippPort);
    start.requestUri.parse(target.data(), static_cast<int>(target.size()), true);
    start.localParty.parse("<sip:uac@127.0.0.1>", 19, true);
    start.remoteParty.parse(target.data(), static_cast<int>(target.size()), true);
    const std::string contact = "<sip:uac@127.0.0.1:" + std::to_string(transport.getLocalAddress().getPort()) + ">";
    start.localContact.parse(contact.data(), static_cast<int>(contact.size()), true);
    InviteOrder order;
    order.body = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4002 RTP/AVP 0\r\n";
    // SIPp may still be starting: the INVITE client transaction retransmits until it answers.
    const int id = caller.invite(start, order);
    ASSERT_GT(id, 0);
    drive(caller, id);

    const int status = sipp.waitExit(20s);
    EXPECT_EQ(caller.events(), expected);
    transport.close();
    controller.clean();
    EXPECT_EQ(status, 0) << tessaly_interop::readText(dir / "errors.log")
                         << tessaly_interop::readText(dir / "messages.log");
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

// The user agent acknowledges the 2xx.
void acknowledge(Caller& caller, int id) {
    ASSERT_TRUE(caller.waitForEvent(kEventInvitingConfirmed));
    ASSERT_TRUE(caller.acknowledge(id, {}));
}

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
