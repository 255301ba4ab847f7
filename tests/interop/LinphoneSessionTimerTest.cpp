// Our session controller calls linphonec (Linphone.h) with session timers on both sides: a
// short interval with our side as refresher, so that the call lives through three refresh
// periods (re-INVITEs the phone answers) before we hang up.
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

// Session-Expires of the call (seconds): a refresh every 5 s, an expiry 7 s after each 2xx.
constexpr int kInterval = 10;

TEST(LinphoneSessionTimer, CallLivesThroughThreeRefreshPeriodsThatWeSend) {
    const fs::path dir = tessaly_interop::freshDirectory("linphone_session_timer");
    const int port = tessaly_interop::freeUdpPort();
    const std::string interval = std::to_string(kInterval);
    Linphone phone(dir, port,
                   "session_expires_enabled=1\nsession_expires_value=" + interval +
                       "\nsession_expires_min_value=" + interval + "\n");
    ASSERT_TRUE(phone.started());
    std::vector<int> events;
    {
        CallerStack stack(500);
        ASSERT_TRUE(stack.ready());
        Caller& caller = stack.caller();
        // The phone may still be starting: the INVITE client transaction retransmits until it answers.
        const int id = stack.invite("sip:linphone@127.0.0.1:" + std::to_string(port), 0,
                                    {1, std::nullopt, kInterval, SipSessionExpires::RefresherUac});
        ASSERT_GT(id, 0);
        ASSERT_TRUE(caller.waitForEvent(kEventInvitingProceeding)) << tessaly_interop::readText(phone.log());
        ASSERT_TRUE(phone.send("answer"));
        acknowledge(caller, id);
        // Each refresh answered and acknowledged (the ACKs of three refreshes), and no BYE
        // from the phone meanwhile, which the events would show.
        for (int count = 2; count <= 4; ++count)
            ASSERT_TRUE(caller.waitForEvent(kEventSentAck, count)) << tessaly_interop::readText(phone.log());
        ASSERT_TRUE(caller.endSession(id, nullptr));
        events = caller.events();
    }
    std::vector<int> expected{kEventSentInvite, kEventInvitingProceeding, kEventInvitingConfirmed, kEventSentAck};
    for (int i = 0; i < 3; ++i) expected.insert(expected.end(), {kEventSentReInvite, kEventSessionRefresh, kEventSentAck});
    expected.push_back(kEventSentBye);
    EXPECT_EQ(events, expected);
    // The phone ran the timer too: its 2xx required it and named us as refresher.
    const std::string log = tessaly_interop::readText(phone.log());
    EXPECT_NE(log.find("Require: timer"), std::string::npos);
    EXPECT_NE(log.find("Session-Expires: " + interval + ";refresher=uac"), std::string::npos);
    if (!::testing::Test::HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace kel_sip::test
