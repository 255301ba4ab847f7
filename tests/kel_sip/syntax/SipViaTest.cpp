#include "kel_sip/syntax/SipVia.h"

#include <gtest/gtest.h>

#include <string>

#include "HeaderTestUtil.h"

using header_test::failure;
using header_test::parsed;
using header_test::reprinted;
using kel_sip::SipHostPort;
using kel_sip::SipVia;

namespace {

constexpr const char* filler = "SIP/2.0/UDP keep.example.com;branch=z9hG4bKkeep";

std::string viaError(const std::string& text) { return failure<SipVia>(text, filler); }

bool viaEquals(const std::string& a, const std::string& b) { return parsed<SipVia>(a).equals(parsed<SipVia>(b)); }

}  // namespace

TEST(SipVia, ParsesEveryPartAndKeepsKnownParametersApart) {
    const SipVia via = parsed<SipVia>(
        "SIP / 2.0 / TCP\r\n pc33.example.com:5066 ;ttl=16;maddr=224.2.0.1;received=192.0.2.1;"
        "branch=z9hG4bK776asdhds;rport=5062;alias;x=y");
    EXPECT_EQ(via.getProtocol(), "SIP");
    EXPECT_EQ(via.getVersion(), "2.0");
    EXPECT_EQ(via.getTransport(), "TCP");
    EXPECT_EQ(via.getSentBy().host, "pc33.example.com");
    EXPECT_EQ(via.getSentBy().port, 5066);
    EXPECT_EQ(via.getTtl(), 16);
    EXPECT_EQ(via.getMaddr(), "224.2.0.1");
    EXPECT_EQ(via.getReceived(), "192.0.2.1");
    EXPECT_EQ(via.getBranch(), "z9hG4bK776asdhds");
    EXPECT_EQ(via.getRport(), 5062);
    EXPECT_TRUE(via.isAlias());
    ASSERT_EQ(via.getParameters().size(), 1u);
    EXPECT_EQ(via.toString(),
              "SIP/2.0/TCP pc33.example.com:5066;ttl=16;maddr=224.2.0.1;received=192.0.2.1;"
              "branch=z9hG4bK776asdhds;rport=5062;alias;x=y");
}

TEST(SipVia, BareOrEmptyRportIsZeroAndPrintsBare) {
    EXPECT_EQ(parsed<SipVia>("SIP/2.0/UDP h;rport").getRport(), 0);
    EXPECT_EQ(parsed<SipVia>("SIP/2.0/UDP h;rport=").getRport(), 0);
    EXPECT_EQ(reprinted<SipVia>("SIP/2.0/UDP h;rport;branch=z9hG4bK1"), "SIP/2.0/UDP h;branch=z9hG4bK1;rport");
    EXPECT_EQ(parsed<SipVia>("SIP/2.0/UDP h").getRport(), -1);
    EXPECT_EQ(reprinted<SipVia>("SIP/2.0/UDP [2001:db8::1]:5060"), "SIP/2.0/UDP [2001:db8::1]:5060");
}

TEST(SipVia, ZeroTtlIsKeptAndDiffersFromNone) {
    // A response must echo the request's Via values (RFC 3261 section 8.2.6.2).
    EXPECT_EQ(reprinted<SipVia>("SIP/2.0/UDP h;ttl=0;maddr=224.0.0.1"), "SIP/2.0/UDP h;ttl=0;maddr=224.0.0.1");
    EXPECT_EQ(parsed<SipVia>("SIP/2.0/UDP h").getTtl(), -1);
    EXPECT_FALSE(viaEquals("SIP/2.0/UDP h;ttl=0", "SIP/2.0/UDP h"));
}

TEST(SipVia, MissingPartsFailWithTheirOwnReason) {
    EXPECT_EQ(viaError(""), "(0) invalid via, no via");
    EXPECT_EQ(viaError("SIP 2.0 UDP host"), "(0) invalid via, no via");
    EXPECT_EQ(viaError("SIP/2.0 UDP host"), "(0) invalid via, no protocol version");
    EXPECT_EQ(viaError("SIP/2.0/UDP"), "(0) invalid via, no transport");
    EXPECT_EQ(viaError("SIP/2.0/UDP ;branch=z9hG4bK1"), "(0) invalid via, no sentby");
    EXPECT_EQ(viaError("SIP/2.0/UDP :5060"), "(0) invalid via, invalid hostport, no host");
}

TEST(SipVia, NumbersOutOfRangeFail) {
    EXPECT_EQ(viaError("SIP/2.0/UDP h:65536"), "(0) invalid via, invalid hostport, invalid port");
    EXPECT_EQ(viaError("SIP/2.0/UDP h;ttl=256"), "(0) invalid via, invalid ttl");
    EXPECT_EQ(viaError("SIP/2.0/UDP h;ttl=-1"), "(0) invalid via, invalid ttl");
    EXPECT_EQ(viaError("SIP/2.0/UDP h;rport=65536"), "(0) invalid via, invalid rport");
    EXPECT_EQ(viaError("SIP/2.0/UDP h;rport=4294967301"), "(0) invalid via, invalid rport");
    EXPECT_EQ(parsed<SipVia>("SIP/2.0/UDP h;ttl=255;rport=65535").getTtl(), 255);
}

TEST(SipVia, PrintsNothingUntilTransportAndSentByAreSet) {
    SipVia via;
    EXPECT_TRUE(via.empty());
    EXPECT_EQ(via.toString(), "");
    via.setTransport("UDP");
    EXPECT_EQ(via.toString(), "");
    via.setSentBy(SipHostPort("192.0.2.4", 0));
    via.setBranch("z9hG4bK12345678");
    via.setRport(0);
    EXPECT_EQ(via.toString(), "SIP/2.0/UDP 192.0.2.4;branch=z9hG4bK12345678;rport");
}

TEST(SipVia, ClearRestoresTheDefaults) {
    SipVia via = parsed<SipVia>("XIP/3.0/UDP h;x;alias;rport");
    via.clear();
    EXPECT_TRUE(via.empty());
    EXPECT_EQ(via.getProtocol(), "SIP");
    EXPECT_EQ(via.getVersion(), "2.0");
    EXPECT_TRUE(via.getParameters().empty());
}

TEST(SipVia, EqualityIgnoresCaseAndTheDefaultUdpPort) {
    EXPECT_TRUE(viaEquals("SIP/2.0/UDP Host.Example.com;branch=z9hG4bKAbC",
                          "sip/2.0/udp host.example.com:5060;BRANCH=z9hg4bkabc"));
    EXPECT_TRUE(viaEquals("SIP/2.0/UDP h;received=1.2.3.4;rport=5;maddr=m;ttl=3",
                          "SIP/2.0/UDP h;rport=5;received=1.2.3.4;ttl=3;maddr=M"));
}

TEST(SipVia, EqualityFailsOnAnyDifferingField) {
    const std::string base = "SIP/2.0/UDP h:5070;branch=z9hG4bK1";
    for (const char* other : {"SIP/2.1/UDP h:5070;branch=z9hG4bK1", "SIP/2.0/TCP h:5070;branch=z9hG4bK1",
                              "SIP/2.0/UDP g:5070;branch=z9hG4bK1", "SIP/2.0/UDP h;branch=z9hG4bK1",
                              "SIP/2.0/UDP h:5070;branch=z9hG4bK2", "SIP/2.0/UDP h:5070;branch=z9hG4bK1;rport",
                              "SIP/2.0/UDP h:5070;branch=z9hG4bK1;alias", "SIP/2.0/UDP h:5070;branch=z9hG4bK1;ttl=1",
                              "SIP/2.0/UDP h:5070;branch=z9hG4bK1;received=r",
                              "SIP/2.0/UDP h:5070;branch=z9hG4bK1;maddr=m"}) {
        EXPECT_FALSE(viaEquals(base, other)) << other;
        EXPECT_FALSE(viaEquals(other, base)) << other;
    }
}

TEST(SipVia, EqualityNeedsEveryGenericParameterOfTheOtherVia) {
    const std::string plain = "SIP/2.0/UDP h;branch=z9hG4bK1";
    const std::string extra = "SIP/2.0/UDP h;branch=z9hG4bK1;x=1";
    EXPECT_TRUE(viaEquals(extra, plain));
    EXPECT_FALSE(viaEquals(plain, extra));
    EXPECT_FALSE(viaEquals(extra, "SIP/2.0/UDP h;branch=z9hG4bK1;x=2"));
    EXPECT_TRUE(viaEquals(extra, "SIP/2.0/UDP h;branch=z9hG4bK1;X=1"));
}
