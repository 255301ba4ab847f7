#include "kel_sip/syntax/SipHostPort.h"

#include <gtest/gtest.h>

#include <string>

#include "SipTestUtil.h"
#include "kel_sip/syntax/SipTransportType.h"

using kel_sip::SipHostPort;
using kel_sip::SipParseException;

namespace {

SipHostPort parsed(const std::string& text) { return kel_sip::test::parsed<SipHostPort>(text); }

std::string failure(const std::string& text) { return kel_sip::test::parseFailure(text, SipHostPort("keep", 1)); }

}  // namespace

TEST(SipHostPort, BracketedIpv6KeepsHostWithoutBracketsAndPrintsThem) {
    const SipHostPort hostPort = parsed("[2001:db8::10]:5070");
    EXPECT_EQ(hostPort.host, "2001:db8::10");
    EXPECT_EQ(hostPort.port, 5070);
    EXPECT_EQ(hostPort.toString(), "[2001:db8::10]:5070");
    EXPECT_EQ(parsed("[::1]").toString(), "[::1]");
}

TEST(SipHostPort, BracketlessIpv6IsTheWholeHostWithoutPort) {
    const SipHostPort hostPort = parsed("2001:db8::10");
    EXPECT_EQ(hostPort.host, "2001:db8::10");
    EXPECT_EQ(hostPort.port, 0);
    EXPECT_EQ(hostPort.toString(), "[2001:db8::10]");
}

TEST(SipHostPort, NameAndPortWithLwsAroundThem) {
    const SipHostPort hostPort = parsed(" example.com :5061 ");
    EXPECT_EQ(hostPort.host, "example.com");
    EXPECT_EQ(hostPort.port, 5061);
    EXPECT_EQ(parsed("example.com:").port, 0);
}

TEST(SipHostPort, MalformedTextsFailWithTheirReason) {
    EXPECT_EQ(failure(""), "(0) invalid hostport, no hostport");
    EXPECT_EQ(failure(":5060"), "(0) invalid hostport, no host");
    EXPECT_EQ(failure("[::1"), "(0) invalid hostport, invalid ipv6 address");
    EXPECT_EQ(failure("[]:5060"), "(0) invalid hostport, invalid ipv6 address");
    EXPECT_EQ(failure("[::1]x"), "(0) invalid hostport, invalid ipv6 address");
}

TEST(SipHostPort, OutOfRangeOrSignedPortsFailInsteadOfWrapping) {
    for (const char* text : {"h:70000", "h:65536", "h:-1", "h:+5", "h:99999999999", "h:5o60", "[::1]:70000"}) {
        EXPECT_EQ(failure(text), "(0) invalid hostport, invalid port") << text;
    }
    EXPECT_EQ(parsed("h:65535").port, 65535);
}

TEST(SipHostPort, EqualityUsesTheDefaultPortAndAddressLiterals) {
    using kel_sip::kTransportTLS;
    using kel_sip::kTransportUDP;
    EXPECT_TRUE(SipHostPort("Example.COM", 0).equals(SipHostPort("example.com", 5060), kTransportUDP));
    EXPECT_FALSE(SipHostPort("example.com", 0).equals(SipHostPort("example.com", 5060), kTransportTLS));
    EXPECT_TRUE(SipHostPort("example.com", 0).equals(SipHostPort("example.com", 5061), kTransportTLS));
    EXPECT_FALSE(SipHostPort("example.com", 5062).equals(SipHostPort("example.com", 0), kTransportUDP));
    EXPECT_TRUE(SipHostPort("::1", 5060).equals(SipHostPort("0:0:0:0:0:0:0:1", 5060), kTransportUDP));
    EXPECT_FALSE(SipHostPort("10.0.0.1", 5060).equals(SipHostPort("10.0.0.2", 5060), kTransportUDP));
    EXPECT_FALSE(SipHostPort("a.example", 5060).equals(SipHostPort("b.example", 5060), kTransportUDP));
}

TEST(SipHostPort, Ipv6HostsHoldOnlyAddressBytesSoTheyPrintBackParseably) {
    // Taken whole, "h:1]:5070" would print as "[h:1]:5070]", which no longer parses.
    for (const char* text : {"2001:db8::1]:5070", "[[::1]", "[p:q]", "x::1", "[::1%]", "[::1%e th]", "[abc]"}) {
        EXPECT_EQ(failure(text), "(0) invalid hostport, invalid ipv6 address") << text;
    }
    EXPECT_EQ(parsed("[fe80::1%25eth0]:5060").host, "fe80::1%25eth0");
    EXPECT_EQ(parsed("::ffff:10.0.0.1").host, "::ffff:10.0.0.1");
}
