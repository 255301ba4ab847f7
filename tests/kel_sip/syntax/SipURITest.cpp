#include "kel_sip/syntax/SipURI.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

#include "SipTestUtil.h"
#include "kel_sip/syntax/SipEscape.h"
#include "kel_sip/syntax/SipTransportType.h"

using kel_sip::SipURI;
using kel_sip::test::parsed;
using kel_sip::test::parseFailure;

namespace {

std::string printed(const SipURI& uri, bool escape) {
    std::string out;
    uri.print(out, escape, escape, escape);
    return out;
}

SipURI filledUri() { return parsed<SipURI>("sip:keep@example.com;lr?h=v"); }

}  // namespace

TEST(SipURI, SemicolonInUserPartFoundByLookingAheadToTheAt) {
    // RFC 4475 3.1.1.10 (semiuri): the user part holds ";par=..." before the "@".
    const SipURI uri = parsed<SipURI>("sip:user;par=u%40example.net@example.com");
    EXPECT_EQ(uri.userInfo.user, "user;par=u%40example.net");
    EXPECT_EQ(uri.hostPort.host, "example.com");
    EXPECT_TRUE(uri.getParameters().empty());
    EXPECT_EQ(uri.toString(), "sip:user;par=u%40example.net@example.com");
}

TEST(SipURI, SemicolonWithLwsNeverJoinsAUserPart) {
    // The "@" then lies in a parameter, where it is no valid byte: taking it would print a URI
    // that reads back with a user part.
    EXPECT_EQ(parseFailure("sip:host.example ;x=1@b", filledUri()), "(0) invalid uri, invalid uri param");
    // The look-ahead from a ";" without LWS stops at a later ";" with LWS.
    EXPECT_EQ(parseFailure("sip:h;a=1; b=c@d", filledUri()), "(0) invalid uri, invalid uri param");
}

TEST(SipURI, UnusualCharactersInUserAndPassword) {
    // RFC 4475 3.1.1.2 (intmeth): "?", ",", ";" and "*" inside the user, ":" to the password.
    const SipURI uri = parsed<SipURI>(
        "sip:1_unusual.URI~(to-be!sure)&isn't+it$/crazy?,/;;*:&it+has=1,weird!*pas$wo~d_too.(doesn't-it)@example.com");
    EXPECT_EQ(uri.userInfo.user, "1_unusual.URI~(to-be!sure)&isn't+it$/crazy?,/;;*");
    EXPECT_TRUE(uri.userInfo.hasPassword);
    EXPECT_EQ(uri.userInfo.password, "&it+has=1,weird!*pas$wo~d_too.(doesn't-it)");
    EXPECT_EQ(uri.hostPort.host, "example.com");
    EXPECT_TRUE(uri.uriHeaders.empty());
}

TEST(SipURI, TypedParametersTakeTheirFieldsAndOthersStayGeneric) {
    const SipURI uri = parsed<SipURI>("sip:alice@example.com:5070;Transport=Tcp;user=phone;method=INVITE;ttl=16;"
                                      "maddr=239.1.1.1;lr;foo=Bar;baz");
    EXPECT_EQ(uri.transportParam, "Tcp");
    EXPECT_EQ(uri.transportType(), kel_sip::kTransportTCP);
    EXPECT_EQ(uri.userParam, "phone");
    EXPECT_EQ(uri.methodParam, "INVITE");
    EXPECT_EQ(uri.ttl, 16);
    EXPECT_EQ(uri.maddr, "239.1.1.1");
    EXPECT_TRUE(uri.lr);
    ASSERT_EQ(uri.getParameters().size(), 2u);
    EXPECT_EQ(uri.toString(),
              "sip:alice@example.com:5070;transport=Tcp;user=phone;method=INVITE;ttl=16;maddr=239.1.1.1;lr;foo=Bar;baz");
}

TEST(SipURI, HeadersKeepTheirHasValueFlags) {
    const SipURI uri = parsed<SipURI>("sip:bob@example.com?Subject=hi&Priority&Empty=&=skipped");
    ASSERT_EQ(uri.uriHeaders.size(), 3u);
    EXPECT_EQ(uri.uriHeaders[0].name, "Subject");
    EXPECT_TRUE(uri.uriHeaders[0].hasValue);
    EXPECT_FALSE(uri.uriHeaders[1].hasValue);
    EXPECT_TRUE(uri.uriHeaders[2].hasValue);
    EXPECT_EQ(uri.uriHeaders[2].value, "");
    EXPECT_EQ(uri.toString(), "sip:bob@example.com?Subject=hi&Priority&Empty=");
}

TEST(SipURI, OtherSchemesAreOpaque) {
    const SipURI tel = parsed<SipURI>("tel:+1-201-555-0123;phone-context=x");
    EXPECT_FALSE(tel.isSipUri());
    EXPECT_EQ(tel.opaque, "+1-201-555-0123;phone-context=x");
    EXPECT_TRUE(tel.getParameters().empty());
    EXPECT_TRUE(tel.isUsable());
    EXPECT_EQ(tel.toString(), "tel:+1-201-555-0123;phone-context=x");
    EXPECT_FALSE(parsed<SipURI>("mailto:a@b").isUsable());
    // Schemes are case-insensitive (RFC 3261 19.1.4): "SIP:" is parsed as a SIP URI.
    const SipURI upper = parsed<SipURI>("SIP:a@b");
    EXPECT_TRUE(upper.isSipUri());
    EXPECT_EQ(upper.hostPort.host, "b");
}

TEST(SipURI, MalformedUrisFailWithTheirReason) {
    EXPECT_EQ(parseFailure("", filledUri()), "(0) invalid uri, no uri");
    EXPECT_EQ(parseFailure("example.com", filledUri()), "(0) invalid uri, no scheme");
    EXPECT_EQ(parseFailure(":x", filledUri()), "(0) invalid uri, no scheme");
    EXPECT_EQ(parseFailure("s>p:a@b", filledUri()), "(0) invalid uri, invalid scheme");
    EXPECT_EQ(parseFailure("1x:a", filledUri()), "(0) invalid uri, invalid scheme");
    EXPECT_EQ(parseFailure("tel:1>2", filledUri()), "(0) invalid uri, invalid uri info");
    EXPECT_EQ(parseFailure("sip:a\r\nX: y@h", filledUri()), "(0) invalid uri, invalid userinfo, invalid user");
    EXPECT_EQ(parseFailure("sip:a@h?x=>", filledUri()), "(0) invalid uri, invalid uri char");
    EXPECT_EQ(parseFailure("sip:a@h,x", filledUri()), "(0) invalid uri, invalid hostport, invalid host");
    EXPECT_EQ(parseFailure("tel:", filledUri()), "(0) invalid uri, no uri info");
    EXPECT_EQ(parseFailure("sip:", filledUri()), "(0) invalid uri, no hostport");
    EXPECT_EQ(parseFailure("sip:user@", filledUri()), "(0) invalid uri, no hostport");
    EXPECT_EQ(parseFailure("sip::pw@host", filledUri()), "(0) invalid uri, invalid userinfo, no user");
    EXPECT_EQ(parseFailure("sip:a@:5060", filledUri()), "(0) invalid uri, invalid hostport, no host");
    EXPECT_EQ(parseFailure("sip:a@h;;lr", filledUri()), "(0) invalid uri, no param data");
    EXPECT_EQ(parseFailure("sip:a@h;=1", filledUri()), "(0) invalid uri, no param name");
}

TEST(SipURI, OutOfRangeNumbersFail) {
    EXPECT_EQ(parseFailure("sip:a@h:70000", filledUri()), "(0) invalid uri, invalid hostport, invalid port");
    EXPECT_EQ(parseFailure("sip:a@h;ttl=256", filledUri()), "(0) invalid uri, invalid ttl");
    EXPECT_EQ(parseFailure("sip:a@h;ttl=-1", filledUri()), "(0) invalid uri, invalid ttl");
    EXPECT_EQ(parseFailure("sip:a@h;ttl=99999999999", filledUri()), "(0) invalid uri, invalid ttl");
    EXPECT_EQ(parsed<SipURI>("sip:a@h;ttl=255").ttl, 255);
}

TEST(SipURI, UnescapedBlankInTheUserIsTakenAndEscapedOnOutput) {
    const SipURI uri = parsed<SipURI>("sip:a b@h");
    EXPECT_EQ(uri.userInfo.user, "a b");
    EXPECT_EQ(printed(uri, true), "sip:a%20b@h");
}

TEST(SipURI, EscapingPrintsBlanksAndKeepsExistingEscapes) {
    SipURI uri = parsed<SipURI>("sip:a@example.com");
    uri.userInfo.user = "I have%2Fspaces%2f";
    EXPECT_EQ(printed(uri, true), "sip:I%20have%2Fspaces%2f@example.com");
    EXPECT_EQ(printed(uri, false), "sip:I have%2Fspaces%2f@example.com");
    uri.userInfo.hasPassword = true;
    uri.userInfo.password = "p;w";
    uri.transportParam = "t\xc3\xa9";
    uri.setParameter("n m", "v&x");
    uri.uriHeaders.add("Sub ject", "a?b c", true);
    EXPECT_EQ(printed(uri, true),
              "sip:I%20have%2Fspaces%2f:p%3Bw@example.com;transport=t%C3%A9;n%20m=v&x?Sub%20ject=a?b%20c");
}

TEST(SipURI, UnescapeDecodesEachEscapeOnceAndKeepsNul) {
    // RFC 4475 3.1.1.3 (esc01) and 3.1.1.4 (escnull).
    SipURI uri = parsed<SipURI>("sip:cal%6Cer@host5.example.net;%6C%72;n%61me=v%61lue%25%34%31?%48=%61");
    uri.unescape();
    EXPECT_EQ(uri.userInfo.user, "caller");
    ASSERT_NE(uri.findParameter("lr"), nullptr);  // decoded names stay generic parameters
    EXPECT_EQ(uri.findParameter("name")->value, "value%41");  // decoded once, not twice
    EXPECT_EQ(uri.uriHeaders[0].name, "H");
    EXPECT_EQ(uri.uriHeaders[0].value, "a");

    SipURI nul = parsed<SipURI>("sip:null-%00-null@example.com");
    nul.unescape();
    EXPECT_EQ(nul.userInfo.user, std::string("null-\0-null", 11));
    EXPECT_EQ(printed(nul, true), "sip:null-%00-null@example.com");
}

TEST(SipURI, RequestUriWithEscapedColonAndAtInTheUser) {
    // RFC 4475 3.1.1.3 (esc01): the escaped "@" is no user-part delimiter.
    SipURI uri = parsed<SipURI>("sip:sips%3Auser%40example.com@example.net");
    EXPECT_EQ(uri.hostPort.host, "example.net");
    uri.unescape();
    EXPECT_EQ(uri.userInfo.user, "sips:user@example.com");
    EXPECT_EQ(printed(uri, true), "sip:sips%3Auser%40example.com@example.net");
}

TEST(SipURI, EqualityFollowsRfc3261Comparison) {
    const auto equal = [](const std::string& a, const std::string& b) { return parsed<SipURI>(a).equals(parsed<SipURI>(b)); };
    EXPECT_TRUE(equal("sip:alice@AtLanTa.CoM;Transport=udp", "SIP:ALICE@atlanta.com;transport=UDP"));
    EXPECT_TRUE(equal("sip:carol@chicago.com", "sip:carol@chicago.com:5060"));
    EXPECT_FALSE(equal("sips:carol@chicago.com", "sips:carol@chicago.com:5060"));
    EXPECT_TRUE(equal("sips:carol@chicago.com", "sips:carol@chicago.com:5061"));
    EXPECT_TRUE(equal("sip:a@h;x=1;extra", "sip:a@h;X=1"));
    EXPECT_FALSE(equal("sip:a@h;x=1", "sip:a@h;x=2"));
    EXPECT_FALSE(equal("sip:a@h", "sip:a@h;x=1"));
    EXPECT_FALSE(equal("sip:a@h;lr", "sip:a@h"));
    EXPECT_FALSE(equal("sip:a@h;ttl=5", "sip:a@h"));
    EXPECT_FALSE(equal("sip:a@h;maddr=1.2.3.4", "sip:a@h"));
    EXPECT_FALSE(equal("sip:a@h;user=phone", "sip:a@h"));
    EXPECT_FALSE(equal("sip:a:pw@h", "sip:a@h"));
    EXPECT_FALSE(equal("sip:a@h?x=1", "sip:a@h"));
    EXPECT_FALSE(equal("sip:a@h", "sips:a@h"));
    EXPECT_TRUE(equal("tel:+123", "TEL:+123"));
    EXPECT_FALSE(equal("tel:+123", "tel:+124"));
}

TEST(SipURI, EqualityDecodesEscapesAndIgnoresHeaderOrder) {
    // The equivalent pairs of RFC 3261 section 19.1.4.
    const auto equal = [](const std::string& a, const std::string& b) { return parsed<SipURI>(a).equals(parsed<SipURI>(b)); };
    EXPECT_TRUE(equal("sip:%61lice@atlanta.com;transport=TCP", "sip:alice@AtLanTa.CoM;Transport=tcp"));
    EXPECT_TRUE(equal("sip:alice@atlanta.com?subject=project%20x&priority=urgent",
                      "sip:alice@atlanta.com?priority=urgent&subject=project%20x"));
    EXPECT_TRUE(equal("sip:biloxi.com;transport=tcp;method=REGISTER?to=sip:bob%40biloxi.com",
                      "sip:biloxi.com;method=REGISTER;transport=tcp?to=sip:bob%40biloxi.com"));
    EXPECT_TRUE(equal("sip:a:p%77@h?%53ubject=x%2fy", "sip:a:pw@h?subject=x%2Fy"));
    EXPECT_FALSE(equal("sip:carol@chicago.com", "sip:carol@chicago.com?Subject=next%20meeting"));
    EXPECT_FALSE(equal("sip:a@h?x=1&y=2", "sip:a@h?x=2&y=1"));
    EXPECT_FALSE(equal("sip:a@h?x=1&x=1", "sip:a@h?x=1&y=1"));
}

TEST(SipURI, TargetPrefersMaddrAndTheTransportDefaultPort) {
    const SipURI::Target plain = parsed<SipURI>("sip:a@example.com").target();
    EXPECT_EQ(plain.host, "example.com");
    EXPECT_EQ(plain.port, 5060);
    const SipURI::Target tls = parsed<SipURI>("sips:a@example.com;maddr=10.1.2.3").target();
    EXPECT_EQ(tls.host, "10.1.2.3");
    EXPECT_EQ(tls.port, 5061);
    EXPECT_EQ(tls.transportType, kel_sip::kTransportTLS);
    EXPECT_EQ(parsed<SipURI>("sip:a@h:5080;transport=tcp").target().port, 5080);
    EXPECT_EQ(parsed<SipURI>("sip:a@h;maddr=[ff02::1]").target().host, "ff02::1");
}

TEST(SipURI, ResolveTargetGivesTheSocketAddressOfLiterals) {
    sockaddr_storage address{};
    socklen_t length = 0;
    ASSERT_TRUE(parsed<SipURI>("sip:a@127.0.0.1:5070").resolveTarget(address, length));
    ASSERT_EQ(address.ss_family, AF_INET);
    const auto& v4 = reinterpret_cast<const sockaddr_in&>(address);
    EXPECT_EQ(ntohs(v4.sin_port), 5070);
    EXPECT_EQ(ntohl(v4.sin_addr.s_addr), 0x7f000001u);

    ASSERT_TRUE(parsed<SipURI>("sip:[::1];maddr=::1").resolveTarget(address, length));
    ASSERT_EQ(address.ss_family, AF_INET6);
    EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port), 5060);

    EXPECT_FALSE(parsed<SipURI>("tel:+123").resolveTarget(address, length));
}
