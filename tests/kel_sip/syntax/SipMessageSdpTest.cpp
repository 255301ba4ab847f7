#include <gtest/gtest.h>

#include <string>

#include "SipCorpus.h"
#include "kel_sip/syntax/SDP.h"
#include "kel_sip/syntax/SipDigestChallenge.h"
#include "kel_sip/syntax/SipDigestResponse.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMessage.h"

using kel_sip::SDP;
using kel_sip::SipHeader;
using kel_sip::SipMessage;

namespace {

SipMessage corpusMessage(const std::string& name) {
    for (const auto& [file, text] : kel_sip::test::loadCorpus()) {
        if (file != name) continue;
        SipMessage message;
        std::string reason;
        EXPECT_TRUE(message.parse(text.data(), static_cast<int>(text.size()), reason)) << name << ": " << reason;
        return message;
    }
    ADD_FAILURE() << "no corpus file " << name;
    return {};
}

}  // namespace

TEST(SipMessageSdp, ReadsTheBodyOfAnSdpMessage) {
    const kel_sip::test::SwitchScope switches;
    for (const char* name : {"01-invite-sdp.sip", "04-ok-200-invite.sip", "21-compact-invite.sip", "22-ipv6-invite.sip"}) {
        const SipMessage message = corpusMessage(name);
        SDP session;
        bool bad = false;
        EXPECT_TRUE(message.getSdp(session, bad)) << name;
        EXPECT_FALSE(bad) << name;
        EXPECT_NE(session.findMedia("audio", nullptr), nullptr) << name;
    }
}

TEST(SipMessageSdp, SdpTypeWithEmptyOrBrokenBodyIsBad) {
    SipMessage message;
    message.contentType = "Application/SDP ; charset=utf-8";
    const std::string sdp = "v=0\r\no=- 1 1 IN IP4 h\r\ns=-\r\nt=0 0\r\nm=audio 4000 RTP/AVP 0\r\n";
    message.setBody(sdp.data(), static_cast<int>(sdp.size()));
    SDP session;
    bool bad = false;
    ASSERT_TRUE(message.getSdp(session, bad));
    EXPECT_EQ(session.media.at(0).media.port, 4000);

    message.setBody(nullptr, 0);
    EXPECT_FALSE(message.getSdp(session, bad));
    EXPECT_TRUE(bad);
    EXPECT_TRUE(session.media.empty());

    bad = false;
    const std::string broken = sdp + "\r\n";
    message.setBody(broken.data(), static_cast<int>(broken.size()));
    EXPECT_FALSE(message.getSdp(session, bad));
    EXPECT_TRUE(bad);
}

TEST(SipMessageSdp, OtherTypesAreNotSdpAndNotBad) {
    SipMessage message;
    const std::string sdp = "v=0\r\no=- 1 1 IN IP4 h\r\ns=-\r\n";
    message.setBody(sdp.data(), static_cast<int>(sdp.size()));
    for (const char* type : {"", "text/plain", "application/sdpx", "multipart/mixed;boundary=application/sdp"}) {
        message.contentType = type;
        SDP session;
        bool bad = false;
        EXPECT_FALSE(message.getSdp(session, bad)) << type;
        EXPECT_FALSE(bad) << type;
    }
}

TEST(SipMessageDigest, ChallengesAndCredentialsOfRealMessagesParse) {
    const kel_sip::test::SwitchScope switches;
    SipMessage unauthorized = corpusMessage("09-unauthorized-401.sip");
    kel_sip::SipDigestChallenge challenge;
    ASSERT_TRUE(unauthorized.getTypedHeader(SipHeader::WwwAuthenticate, challenge));
    EXPECT_EQ(challenge.nonce, "ea9c8e88df84f1cec4341ae6cbe5a359");
    EXPECT_EQ(challenge.qopOptions, std::vector<std::string>{"auth"});

    SipMessage proxy = corpusMessage("24-proxy-auth-407.sip");
    ASSERT_TRUE(proxy.getTypedHeader(SipHeader::ProxyAuthenticate, challenge));
    EXPECT_EQ(challenge.nonce, "b4c1a0e0f2");

    SipMessage registration = corpusMessage("10-register-auth.sip");
    kel_sip::SipDigestResponse credentials;
    ASSERT_TRUE(registration.getTypedHeader(SipHeader::Authorization, credentials));
    EXPECT_EQ(credentials.username, "alice");
    EXPECT_EQ(credentials.uri, "sip:registrar.example.com");
    EXPECT_EQ(credentials.nonceCount, 1u);
}
