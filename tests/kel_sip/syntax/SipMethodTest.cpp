#include "kel_sip/syntax/SipMethod.h"

#include <gtest/gtest.h>

#include <string>

namespace SipMethod = kel_sip::SipMethod;

TEST(SipMethod, EveryKindMapsToItsNameAndBack) {
    for (int kind = 0; kind < SipMethod::Count; ++kind) {
        const std::string name(SipMethod::nameOf(kind));
        ASSERT_FALSE(name.empty());
        EXPECT_EQ(SipMethod::kindOf(name), kind) << name;
    }
    EXPECT_EQ(SipMethod::nameOf(SipMethod::Invite), "INVITE");
    EXPECT_EQ(SipMethod::nameOf(SipMethod::Prack), "PRACK");
    EXPECT_EQ(SipMethod::nameOf(SipMethod::Publish), "PUBLISH");
}

TEST(SipMethod, NamesCompareWithoutCase) {
    EXPECT_EQ(SipMethod::kindOf("invite"), SipMethod::Invite);
    EXPECT_EQ(SipMethod::kindOf("SubScribe"), SipMethod::Subscribe);
}

TEST(SipMethod, UnknownNamesAndKindsAreOutsideTheTable) {
    for (const char* name : {"", "FOO", "INVITEX", "INVIT", "INVITE "}) {
        EXPECT_EQ(SipMethod::kindOf(name), SipMethod::Other) << '"' << name << '"';
    }
    EXPECT_TRUE(SipMethod::nameOf(SipMethod::Other).empty());
    EXPECT_TRUE(SipMethod::nameOf(SipMethod::Count).empty());
}
