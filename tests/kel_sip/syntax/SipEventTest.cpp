#include "kel_sip/syntax/SipEvent.h"

#include <gtest/gtest.h>

#include <string>

#include "HeaderTestUtil.h"
#include "kel_sip/syntax/SipReplaces.h"
#include "kel_sip/syntax/SipSubscriptionState.h"

using header_test::failure;
using header_test::parsed;
using header_test::reprinted;
using kel_sip::SipEvent;
using kel_sip::SipReplaces;
using kel_sip::SipSubscriptionState;

TEST(SipEvent, PackageAndIdAreKeptApartFromOtherParameters) {
    const SipEvent event = parsed<SipEvent>("presence ; ID=1234;x=y");
    EXPECT_EQ(event.getPackage(), "presence");
    EXPECT_EQ(event.getId(), "1234");
    EXPECT_EQ(event.getParameters().size(), 1u);
    EXPECT_EQ(event.toString(), "presence;id=1234;x=y");
    EXPECT_EQ(reprinted<SipEvent>("refer"), "refer");
}

TEST(SipEvent, MissingPackageFails) {
    EXPECT_EQ(failure<SipEvent>("", "dialog"), "(0) invalid event, no event type");
    EXPECT_EQ(failure<SipEvent>(" ;id=1", "dialog"), "(0) invalid event, no event type");
}

TEST(SipSubscriptionState, StateNamesCoverTheThreeStatesNoneAndOthers) {
    EXPECT_EQ(SipSubscriptionState::stateName(SipSubscriptionState::Terminated), "terminated");
    EXPECT_EQ(SipSubscriptionState::stateName(SipSubscriptionState::Pending), "pending");
    EXPECT_EQ(SipSubscriptionState::stateName(SipSubscriptionState::Active), "active");
    EXPECT_EQ(SipSubscriptionState::stateName(SipSubscriptionState::StateNone), "");
    EXPECT_EQ(SipSubscriptionState::stateName(3), "unkown");
    EXPECT_EQ(SipSubscriptionState::stateName(-7), "unkown");
}

TEST(SipSubscriptionState, ParsesStateAndItsParameters) {
    const SipSubscriptionState state = parsed<SipSubscriptionState>("Terminated;reason=timeout;retry-after=30;x");
    EXPECT_EQ(state.getState(), SipSubscriptionState::Terminated);
    EXPECT_EQ(state.getReason(), "timeout");
    EXPECT_EQ(state.getExpires(), -1);
    EXPECT_EQ(state.getRetryAfter(), 30);
    EXPECT_EQ(state.toString(), "terminated;reason=timeout;retry-after=30;x");
    EXPECT_EQ(reprinted<SipSubscriptionState>("active;expires=600"), "active;expires=600");
    EXPECT_EQ(reprinted<SipSubscriptionState>("pending;expires=0;retry-after=0"), "pending;expires=0");
}

TEST(SipSubscriptionState, EmptyNumbersAreLeftUnset) {
    const SipSubscriptionState state = parsed<SipSubscriptionState>("active;expires;retry-after=");
    EXPECT_EQ(state.getExpires(), -1);
    EXPECT_EQ(state.getRetryAfter(), -1);
    EXPECT_EQ(state.toString(), "active");
}

TEST(SipSubscriptionState, BadStateOrNumbersFail) {
    const char* filler = "active;expires=5";
    EXPECT_EQ(failure<SipSubscriptionState>("", filler), "(0) invalid subscription state, no state value");
    EXPECT_EQ(failure<SipSubscriptionState>("waiting", filler), "(0) invalid subscription state, invalid state value");
    EXPECT_EQ(failure<SipSubscriptionState>("active;expires=-1", filler),
              "(0) invalid subscription state, invalid expires");
    EXPECT_EQ(failure<SipSubscriptionState>("active;expires=4294967296", filler),
              "(0) invalid subscription state, invalid expires");
    EXPECT_EQ(failure<SipSubscriptionState>("terminated;retry-after=1h", filler),
              "(0) invalid subscription state, invalid retry-after");
}

TEST(SipReplaces, ParsesDialogIdentityAndEarlyFlag) {
    const SipReplaces replaces = parsed<SipReplaces>("98732@sip.example.com;from-tag=r33th4x0r;to-tag=ff87ff;early-only;a=b");
    EXPECT_EQ(replaces.getCallId(), "98732@sip.example.com");
    EXPECT_EQ(replaces.getToTag(), "ff87ff");
    EXPECT_EQ(replaces.getFromTag(), "r33th4x0r");
    EXPECT_TRUE(replaces.isEarlyOnly());
    EXPECT_EQ(replaces.toString(), "98732@sip.example.com;to-tag=ff87ff;from-tag=r33th4x0r;early-only;a=b");
}

TEST(SipReplaces, PrintsBothTagsEvenWhenOneIsMissing) {
    EXPECT_EQ(reprinted<SipReplaces>("abc;from-tag=2"), "abc;to-tag=;from-tag=2");
    EXPECT_EQ(SipReplaces().toString(), "");
}

TEST(SipReplaces, MissingCallIdFails) {
    EXPECT_EQ(failure<SipReplaces>(";to-tag=1", "abc;to-tag=1"), "(0) invalid replaces, no callid");
}
