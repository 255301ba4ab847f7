// Calls with PRACK (RFC 3262) between our session controller and a real phone, linphonec (the
// Debian package linphone-cli, Linphone.h) with 100rel at support level 2 ("100rel" in
// Supported and Require), both ways: we call it and acknowledge its reliable 180 with PRACK; it
// calls us and acknowledges ours.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Linphone.h"
#include "ProgramSupport.h"
#include "SessionCaller.h"

namespace kel_sip::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kT1 = 500;
constexpr const char* k100rel = "100rel_support_level=2\n";
constexpr const char* kAnswerSdp =
    "v=0\r\no=- 2 2 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 4002 RTP/AVP 0\r\n";

// a comes before b in events.
bool comesBefore(const std::vector<int>& events, int a, int b) {
    const auto first = std::find(events.begin(), events.end(), a);
    return first != events.end() && std::find(first, events.end(), b) != events.end();
}

TEST(Linphone100rel, WeCallItAndAcknowledgeItsReliableRingingWithPrAck) {
    const fs::path dir = tessaly_interop::freshDirectory("linphone_called");
    const int port = tessaly_interop::freeUdpPort();
    Linphone phone(dir, port, k100rel);
    ASSERT_TRUE(phone.started());
    CallerStack stack(kT1);
    ASSERT_TRUE(stack.ready());
    Caller& caller = stack.caller();
    // The phone may still be starting: the INVITE client transaction retransmits until it answers.
    const int id = stack.invite("sip:linphone@127.0.0.1:" + std::to_string(port), 1);
    ASSERT_GT(id, 0);
    ASSERT_TRUE(caller.waitForEvent(kEventPrAckingSucceeded)) << tessaly_interop::readText(phone.log());
    ASSERT_TRUE(phone.send("answer"));
    acknowledge(caller, id);
    ASSERT_TRUE(caller.endSession(id, nullptr));
    ASSERT_TRUE(caller.waitForEvent(kEventSentBye));
    const std::vector<int> events = caller.events();
    EXPECT_TRUE(comesBefore(events, kEventInvitingProceeding, kEventSentPrAck));
    EXPECT_TRUE(comesBefore(events, kEventSentPrAck, kEventPrAckingSucceeded));
    EXPECT_TRUE(comesBefore(events, kEventPrAckingSucceeded, kEventInvitingConfirmed));
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

TEST(Linphone100rel, ItCallsUsAndAcknowledgesOurReliableRingingWithPrAck) {
    const fs::path dir = tessaly_interop::freshDirectory("linphone_calling");
    Linphone phone(dir, tessaly_interop::freeUdpPort(), k100rel);
    ASSERT_TRUE(phone.started());
    CallerStack stack(kT1);
    ASSERT_TRUE(stack.ready());
    Caller& caller = stack.caller();
    // It offers 100rel in Supported: process type 2 sends our 180 reliably.
    caller.setTerm100relProcessType(2);
    const std::string contact = "<sip:uas@127.0.0.1:" + std::to_string(stack.port()) + ">";
    SipAddress ours;
    ours.parse(contact.data(), static_cast<int>(contact.size()), true);
    ASSERT_TRUE(phone.send("call sip:uas@127.0.0.1:" + std::to_string(stack.port())));
    ASSERT_TRUE(caller.waitForEvent(kEventInvited)) << tessaly_interop::readText(phone.log());
    const int id = caller.lastId();
    SessionResponse ringing;
    ringing.statusCode = 180;
    ringing.contact = &ours;
    ASSERT_TRUE(caller.respondSession(id, ringing));
    // Our session answers the PRACK 200 by itself.
    ASSERT_TRUE(caller.waitForEvent(kEventPrAcked)) << tessaly_interop::readText(phone.log());
    SessionResponse ok;
    ok.statusCode = 200;
    ok.contact = &ours;
    ok.body = kAnswerSdp;
    ASSERT_TRUE(caller.respondSession(id, ok));
    ASSERT_TRUE(caller.waitForEvent(kEventAcked)) << tessaly_interop::readText(phone.log());
    ASSERT_TRUE(caller.endSession(id, nullptr));
    ASSERT_TRUE(caller.waitForEvent(kEventSentBye));
    const std::vector<int> events = caller.events();
    EXPECT_TRUE(comesBefore(events, kEventSentInviteProvisionalResponse, kEventPrAcked));
    EXPECT_TRUE(comesBefore(events, kEventPrAcked, kEventSentInviteFinalResponse));
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace kel_sip::test
