#include <gtest/gtest.h>

#include "SipTestMessages.h"
#include "kel_sip/syntax/SipViaAddressing.h"

using namespace kel_sip;
using namespace kel_sip::test;

TEST(SipResponseDestination, FollowsMaddrReceivedRportAndDefaultPorts) {
    struct Case {
        const char* via;
        SipPeerAddress expected;
    };
    const Case cases[] = {
        {"SIP/2.0/UDP client.example.com", {"client.example.com", 5060}},
        {"SIP/2.0/TLS client.example.com", {"client.example.com", 5061}},
        {"SIP/2.0/UDP client.example.com:5070", {"client.example.com", 5070}},
        {"SIP/2.0/UDP client.example.com:5070;received=192.0.2.1", {"192.0.2.1", 5070}},
        {"SIP/2.0/UDP 10.0.0.1:5070;received=192.0.2.1;rport=40000", {"192.0.2.1", 40000}},
        // An rport that was asked for but never filled in does not count.
        {"SIP/2.0/UDP 10.0.0.1;rport", {"10.0.0.1", 5060}},
        // maddr wins over received and rport (RFC 3261 section 18.2.2).
        {"SIP/2.0/UDP 10.0.0.1:5070;maddr=239.1.1.1;received=192.0.2.1;rport=4000", {"239.1.1.1", 5070}},
        {"SIP/2.0/TLS [2001:db8::1];received=2001:db8::2", {"2001:db8::2", 5061}},
        // An IPv6 maddr is a bracketed reference; received is sent bracketed too.
        {"SIP/2.0/UDP [2001:db8::1];received=[2001:db8::2];rport=7", {"2001:db8::2", 7}},
        {"SIP/2.0/UDP [2001:db8::1];maddr=[ff02::1]", {"ff02::1", 5060}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(responseDestination(parsedValue<SipVia>(c.via)), c.expected) << c.via;
    }
    EXPECT_TRUE(responseDestination(SipVia()).empty());
}

TEST(SipStampReceived, AddsReceivedWhenSourceDiffersAndFillsRequestedRport) {
    SipVia name = parsedValue<SipVia>("SIP/2.0/UDP client.example.com:5060;branch=z9hG4bK1");
    ASSERT_TRUE(stampReceived(name, {"192.0.2.1", 5060}));
    EXPECT_EQ(name.toString(), "SIP/2.0/UDP client.example.com:5060;received=192.0.2.1;branch=z9hG4bK1");

    SipVia same = parsedValue<SipVia>("SIP/2.0/UDP 192.0.2.1:5060;branch=z9hG4bK1");
    ASSERT_TRUE(stampReceived(same, {"192.0.2.1", 5060}));
    EXPECT_EQ(same.getReceived(), "");

    // A received written by the sender itself must not choose where the response goes.
    SipVia steered = parsedValue<SipVia>("SIP/2.0/UDP 192.0.2.1:5060;received=203.0.113.9;branch=z9hG4bK1");
    ASSERT_TRUE(stampReceived(steered, {"192.0.2.1", 5060}));
    EXPECT_EQ(responseDestination(steered), (SipPeerAddress{"192.0.2.1", 5060}));

    // The same address written another way is the same host.
    SipVia v6 = parsedValue<SipVia>("SIP/2.0/UDP [2001:db8:0::1]:5060;branch=z9hG4bK1");
    ASSERT_TRUE(stampReceived(v6, {"2001:db8::1", 5060}));
    EXPECT_EQ(v6.getReceived(), "");

    // RFC 3581 section 4: rport asked for gets the source port, and received is added even
    // when the host matches.
    SipVia natted = parsedValue<SipVia>("SIP/2.0/UDP 192.0.2.1:5060;rport;branch=z9hG4bK1");
    ASSERT_TRUE(stampReceived(natted, {"192.0.2.1", 40123}));
    EXPECT_EQ(natted.getRport(), 40123);
    EXPECT_EQ(natted.getReceived(), "192.0.2.1");
    EXPECT_EQ(responseDestination(natted), (SipPeerAddress{"192.0.2.1", 40123}));

    // An rport that already carries a value is left alone.
    SipVia filled = parsedValue<SipVia>("SIP/2.0/UDP 10.0.0.1;rport=7000");
    ASSERT_TRUE(stampReceived(filled, {"192.0.2.1", 40123}));
    EXPECT_EQ(filled.getRport(), 7000);

    SipVia untouched = parsedValue<SipVia>("SIP/2.0/UDP 10.0.0.1;rport");
    EXPECT_FALSE(stampReceived(untouched, {}));
    EXPECT_EQ(untouched.toString(), "SIP/2.0/UDP 10.0.0.1;rport");
}

TEST(SipMessagePeer, RequestGoesToLooseRouteOrRequestUriAndResponseToItsVia) {
    SipMessageExt request = parsed(inviteWithRoutes());
    ASSERT_TRUE(request.setMessagePeer());
    EXPECT_EQ(request.peer, (SipPeerAddress{"proxy1.example.com", 5060}));
    request.routes.clear();
    request.requestUri = parsedValue<SipURI>("sips:bob@example.org;maddr=192.0.2.99");
    ASSERT_TRUE(request.setMessagePeer());
    EXPECT_EQ(request.peer, (SipPeerAddress{"192.0.2.99", 5061}));
    request.requestUri = parsedValue<SipURI>("tel:+15550100");
    EXPECT_FALSE(request.setMessagePeer());

    SipMessageExt response = parsed(inviteWithRoutes());
    response.peer = {"198.51.100.7", 33333};
    ASSERT_TRUE(response.stampReceived());
    response.setResponse(200);
    response.peer.clear();
    ASSERT_TRUE(response.setMessagePeer());
    EXPECT_EQ(response.peer, (SipPeerAddress{"198.51.100.7", 33333}));
    response.vias.clear();
    EXPECT_FALSE(response.setMessagePeer());
    EXPECT_FALSE(response.stampReceived());
}

TEST(SipPeerAddress, PrintsIpv6InBrackets) {
    EXPECT_EQ((SipPeerAddress{"2001:db8::1", 5060}).toString(), "[2001:db8::1]:5060");
    EXPECT_EQ((SipPeerAddress{"192.0.2.1", 5070}).toString(), "192.0.2.1:5070");
}
