#include "kel_sip/syntax/SipMethodList.h"

#include <gtest/gtest.h>

#include <string>

#include "HeaderTestUtil.h"
#include "kel_sip/syntax/SipStrList.h"

using header_test::failure;
using header_test::parseInto;
using header_test::parsed;
using header_test::reprinted;
using kel_sip::SipMethodList;
using kel_sip::SipStrList;
namespace SipMethod = kel_sip::SipMethod;

TEST(SipMethodList, TokensApplyInOrder) {
    const SipMethodList list = parsed<SipMethodList>("INVITE, ACK,-ACK");
    EXPECT_TRUE(list.has(SipMethod::Invite));
    EXPECT_FALSE(list.has(SipMethod::Ack));
    EXPECT_EQ(list.toString(), "INVITE");
}

TEST(SipMethodList, StarSetsEveryMethodAndMinusTakesOneAway) {
    const SipMethodList list = parsed<SipMethodList>("*, -bye");
    for (int kind = 0; kind < SipMethod::Count; ++kind) EXPECT_EQ(list.has(kind), kind != SipMethod::Bye) << kind;
    EXPECT_EQ(list.toString(), "INVITE,ACK,OPTIONS,CANCEL,REGISTER,INFO,REFER,UPDATE,PRACK,SUBSCRIBE,NOTIFY,MESSAGE,PUBLISH");
}

TEST(SipMethodList, PrintsInKindOrderWhateverTheInputOrder) {
    EXPECT_EQ(reprinted<SipMethodList>("publish ,\r\n options,INVITE"), "INVITE,OPTIONS,PUBLISH");
    EXPECT_EQ(reprinted<SipMethodList>(""), "");
}

TEST(SipMethodList, UnknownMethodFails) {
    EXPECT_EQ(failure<SipMethodList>("INVITE, FROB", "BYE"), "(0) invalid method list, invalid method");
    EXPECT_EQ(failure<SipMethodList>("INVITE,,BYE", "BYE"), "(0) invalid method list, invalid method");
    EXPECT_EQ(failure<SipMethodList>("-", "BYE"), "(0) invalid method list, invalid method");
}

TEST(SipMethodList, ParseWithoutClearFirstAddsToTheSetMethods) {
    SipMethodList list = parsed<SipMethodList>("INVITE");
    parseInto(list, "BYE", false);
    EXPECT_EQ(list.toString(), "INVITE,BYE");
}

TEST(SipMethodList, KindsOutsideTheTableAreIgnored) {
    SipMethodList list;
    list.set(SipMethod::Other);
    list.set(SipMethod::Count);
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(list.has(SipMethod::Count));
}

TEST(SipStrList, SplitsTrimsAndSkipsEmptyTokens) {
    const SipStrList list = parsed<SipStrList>(" timer, 100rel ,,\r\n replaces ,");
    ASSERT_EQ(list.getValues().size(), 3u);
    EXPECT_EQ(list.getValues()[1], "100rel");
    EXPECT_EQ(list.toString(), "timer,100rel,replaces");
}

TEST(SipStrList, ParseWithoutClearFirstAppends) {
    SipStrList list = parsed<SipStrList>("a,b");
    parseInto(list, "c", false);
    EXPECT_EQ(list.toString(), "a,b,c");
}

TEST(SipStrList, AddUniqueComparesWithoutCase) {
    SipStrList list = parsed<SipStrList>("timer,100rel");
    EXPECT_TRUE(list.contains("100REL"));
    EXPECT_FALSE(list.addUnique("Timer"));
    EXPECT_TRUE(list.addUnique("path"));
    EXPECT_EQ(list.toString(), "timer,100rel,path");
}
