// Our session controller places a call to SIPp and sends UPDATE in it (RFC 3311): SIPp's own
// UPDATE crosses ours and each side refuses the other's with 491.
#include <gtest/gtest.h>

#include "SessionCaller.h"

namespace kel_sip::test {
namespace {

TEST(SessionUpdate, CrossingUpdatesAreRefused491OnEachSide) {
    call(
        "session_update_crossing",
        [](Caller& caller, int id) {
            acknowledge(caller, id);
            UpdateOrder order;
            order.body = "v=0\r\no=- 1 2 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                         "m=audio 4002 RTP/AVP 0\r\na=sendonly\r\n";
            ASSERT_TRUE(caller.update(id, order));
            ASSERT_TRUE(caller.waitForEvent(kEventUpdatingFailed));
            ASSERT_TRUE(caller.endSession(id, nullptr));
        },
        {kEventSentInvite, kEventInvitingConfirmed, kEventSentAck, kEventSentUpdate, kEventUpdatingFailed,
         kEventSentBye});
}

}  // namespace
}  // namespace kel_sip::test
