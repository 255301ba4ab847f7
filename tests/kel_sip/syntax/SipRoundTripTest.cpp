// Every parse/print pair round-trips: printing a parsed value and parsing the text again gives
// an equal value, which prints the same.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "SipTestUtil.h"
#include "kel_sip/syntax/SipContact.h"
#include "kel_sip/syntax/SipFromTo.h"
#include "kel_sip/syntax/SipHostPort.h"
#include "kel_sip/syntax/SipReferredBy.h"
#include "kel_sip/syntax/SipRoute.h"
#include "kel_sip/syntax/SipTransportType.h"

using namespace kel_sip;
using kel_sip::test::parsed;

namespace {

struct Case {
    const char* input;
    const char* printed;  // the canonical form
};

// Parses input, checks the printed form, parses that again and checks both values are equal.
template <typename T>
void checkRoundTrip(const Case& c, const std::function<bool(const T&, const T&)>& same) {
    SCOPED_TRACE(c.input);
    const T first = parsed<T>(c.input);
    const std::string text = first.toString();
    EXPECT_EQ(text, c.printed);
    const T second = parsed<T>(text);
    EXPECT_EQ(second.toString(), text);
    EXPECT_TRUE(same(first, second));
}

bool sameUri(const SipURI& a, const SipURI& b) {
    return a.equals(b) && b.equals(a) && a.userInfo.user == b.userInfo.user && a.hostPort.host == b.hostPort.host &&
           a.hostPort.port == b.hostPort.port && a.getParameters() == b.getParameters();
}

bool sameField(const SipAddressField& a, const SipAddressField& b) {
    return sameUri(a.address.uri, b.address.uri) && a.address.displayName == b.address.displayName &&
           a.getParameters() == b.getParameters();
}

}  // namespace

TEST(SipRoundTrip, Uris) {
    const Case cases[] = {
        {"sip:alice@atlanta.com", "sip:alice@atlanta.com"},
        {"sips:bob:secret@biloxi.com:5061", "sips:bob:secret@biloxi.com:5061"},
        {"sip:bob:@biloxi.com", "sip:bob:@biloxi.com"},
        {"sip:[2001:db8::1]:5070;transport=tcp", "sip:[2001:db8::1]:5070;transport=tcp"},
        {"sip:user@[fe80::1%25eth0]", "sip:user@[fe80::1%25eth0]"},
        {"sip:2001:db8::7", "sip:[2001:db8::7]"},
        {"sip:192.0.2.4:5060;lr", "sip:192.0.2.4:5060;lr"},
        {"sip:a@h;LR;TTL=5;MADDR=x;Method=BYE;User=ip", "sip:a@h;user=ip;method=BYE;ttl=5;maddr=x;lr"},
        {"sip:+1-212-555-1212:1234@gateway.com;user=phone", "sip:+1-212-555-1212:1234@gateway.com;user=phone"},
        {"sip:atlanta.com;method=REGISTER?to=alice%40atlanta.com", "sip:atlanta.com;method=REGISTER?to=alice%40atlanta.com"},
        {"sip:alice@atlanta.com?subject=project%20x&priority=urgent", "sip:alice@atlanta.com?subject=project%20x&priority=urgent"},
        {"sip:h?a&b=&c=1", "sip:h?a&b=&c=1"},
        {"sip:user;par=u%40example.net@example.com", "sip:user;par=u%40example.net@example.com"},
        {"sip:a,b@h", "sip:a,b@h"},
        {"sip:h:0", "sip:h"},
        {"sip:h;maddr=ff02::1;ttl=0", "sip:h;ttl=0;maddr=ff02::1"},
        {"sip:h;x=1;x=2", "sip:h;x=2"},
        {"  sip:h ; p = v  ", "sip:h;p=v"},
        {"tel:+358-555-1234567;postd=pp22", "tel:+358-555-1234567;postd=pp22"},
        {"urn:service:sos", "urn:service:sos"},
    };
    for (const Case& c : cases) checkRoundTrip<SipURI>(c, sameUri);
}

TEST(SipRoundTrip, HostPorts) {
    const Case cases[] = {
        {"example.com", "example.com"},
        {"EXAMPLE.com:1", "EXAMPLE.com:1"},
        {"[::ffff:192.0.2.1]:65535", "[::ffff:192.0.2.1]:65535"},
        {"::1", "[::1]"},
        {"10.0.0.1:5060", "10.0.0.1:5060"},
    };
    const std::function<bool(const SipHostPort&, const SipHostPort&)> same = [](const SipHostPort& a, const SipHostPort& b) {
        return a.host == b.host && a.port == b.port && a.equals(b, kTransportUDP);
    };
    for (const Case& c : cases) checkRoundTrip<SipHostPort>(c, same);
}

TEST(SipRoundTrip, AddressFields) {
    const std::function<bool(const SipFromTo&, const SipFromTo&)> sameFromTo = [](const SipFromTo& a, const SipFromTo& b) {
        return sameField(a, b) && a.tag == b.tag;
    };
    const Case fromTo[] = {
        {"\"Bob\" <sips:bob@biloxi.com>;tag=a48s", "\"Bob\" <sips:bob@biloxi.com>;tag=a48s"},
        {"Anonymous <sip:c8oqz84zk7z@privacy.org>;tag=hyh8", "Anonymous <sip:c8oqz84zk7z@privacy.org>;tag=hyh8"},
        {"sip:+12125551212@server.phone2net.com;tag=887s", "sip:+12125551212@server.phone2net.com;tag=887s"},
        {"<sip:[2001:db8::9]:5062;transport=udp>;TAG=x;foo", "<sip:[2001:db8::9]:5062;transport=udp>;tag=x;foo"},
        {"\"A, B\" <sip:a@b>", "\"A, B\" <sip:a@b>"},
        {"\"\\\"q\\\"\"<sip:a@b>", "\"\\\"q\\\"\" <sip:a@b>"},
        {"sip:a;b@h;tag=1", "<sip:a;b@h>;tag=1"},
        {"sip:h ;x=\"a@b\"", "<sip:h>;x=\"a@b\""},
    };
    for (const Case& c : fromTo) checkRoundTrip<SipFromTo>(c, sameFromTo);

    const std::function<bool(const SipContact&, const SipContact&)> sameContact = [](const SipContact& a, const SipContact& b) {
        return sameField(a, b) && a.wildcard == b.wildcard && a.expires == b.expires && a.q == b.q;
    };
    const Case contacts[] = {
        {"*", "*"},
        {"<sip:a@192.0.2.4>;expires=0;q=1", "<sip:a@192.0.2.4>;expires=0;q=1"},
        {"<sip:a@[::1]:5080>;q=0.125;+sip.instance=\"<urn:uuid:1>\"", "<sip:a@[::1]:5080>;q=0.125;+sip.instance=\"<urn:uuid:1>\""},
        {"sip:a@b;q=0.50;expires=60", "sip:a@b;expires=60;q=0.5"},
        {"mailto:carol@chicago.com", "mailto:carol@chicago.com"},
    };
    for (const Case& c : contacts) checkRoundTrip<SipContact>(c, sameContact);

    const std::function<bool(const SipRoute&, const SipRoute&)> sameRoute = [](const SipRoute& a, const SipRoute& b) {
        return sameField(a, b);
    };
    checkRoundTrip<SipRoute>({"<sip:p1.example.com;lr>", "<sip:p1.example.com;lr>"}, sameRoute);
    checkRoundTrip<SipRoute>({"<sip:[2001:db8::2];lr;ftag=1>;x", "<sip:[2001:db8::2];lr;ftag=1>;x"}, sameRoute);

    const std::function<bool(const SipReferredBy&, const SipReferredBy&)> sameBy = [](const SipReferredBy& a, const SipReferredBy& b) {
        return sameField(a, b) && a.cid == b.cid;
    };
    checkRoundTrip<SipReferredBy>({"<sip:r@example.com>;cid=\"1@r\";x=y", "<sip:r@example.com>;cid=\"1@r\";x=y"}, sameBy);
}
