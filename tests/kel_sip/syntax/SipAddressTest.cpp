#include "kel_sip/syntax/SipAddress.h"

#include <gtest/gtest.h>

#include <string>

#include "SipTestUtil.h"
#include "kel_sip/syntax/SipContact.h"
#include "kel_sip/syntax/SipFromTo.h"
#include "kel_sip/syntax/SipReferredBy.h"
#include "kel_sip/syntax/SipRoute.h"

using kel_sip::SipAddress;
using kel_sip::SipContact;
using kel_sip::SipFromTo;
using kel_sip::SipReferredBy;
using kel_sip::SipRoute;
using kel_sip::test::parsed;
using kel_sip::test::parseFailure;

TEST(SipAddress, DisplayNameWithoutLwsBeforeTheBracket) {
    // RFC 4475 3.1.1.6 (lwsdisp).
    const SipFromTo from = parsed<SipFromTo>("caller<sip:caller@example.com>;tag=323");
    EXPECT_EQ(from.address.displayName, "caller");
    EXPECT_EQ(from.address.uri.userInfo.user, "caller");
    EXPECT_EQ(from.tag, "323");
    EXPECT_EQ(from.toString(), "caller <sip:caller@example.com>;tag=323");
}

TEST(SipAddress, QuotedDisplayNameKeepsEscapedQuotesCommasAndBrackets) {
    const SipAddress quoted = parsed<SipAddress>(R"("J Rosenberg \\\"" <sip:jdrosen@example.com>)");
    EXPECT_EQ(quoted.displayName, R"("J Rosenberg \\\"")");
    EXPECT_EQ(quoted.uri.hostPort.host, "example.com");
    const SipAddress comma = parsed<SipAddress>(R"("Watson, Thomas <boss>" <sip:t.watson@example.org>)");
    EXPECT_EQ(comma.displayName, R"("Watson, Thomas <boss>")");
    EXPECT_EQ(comma.uri.userInfo.user, "t.watson");
    EXPECT_EQ(comma.toString(), R"("Watson, Thomas <boss>" <sip:t.watson@example.org>)");
}

TEST(SipAddress, DisplayNameKeepsNulAndUtf8Bytes) {
    static const char kText[] = "\"BEL:\\\x07 NUL:\\\0 \xc3\xa9\" <sip:a@b>";
    const std::string text(kText, sizeof kText - 1);
    const SipAddress address = parsed<SipAddress>(text);
    EXPECT_EQ(address.displayName, text.substr(0, text.find(" <")));
    EXPECT_EQ(address.displayName.size(), 18u);  // the NUL byte included
    EXPECT_EQ(address.toString(), text);
}

TEST(SipAddress, BareUriClearsTheBracketFlagButParametersForceBrackets) {
    SipAddress bare = parsed<SipAddress>("sip:a@b");
    EXPECT_FALSE(bare.brackets);
    EXPECT_EQ(bare.toString(), "sip:a@b");
    bare.uri.lr = true;
    // Bare, ";lr" would be read back as a header parameter (RFC 3261 section 20.10).
    EXPECT_EQ(bare.toString(), "<sip:a@b;lr>");
    bare.clear();
    EXPECT_TRUE(bare.brackets);
}

TEST(SipAddress, MalformedAddressesFail) {
    SipAddress filled = parsed<SipAddress>("<sip:a@b>");
    EXPECT_EQ(parseFailure("", filled), "(0) invalid address, no address");
    EXPECT_EQ(parseFailure("Bob <sip:a@b", filled), "(0) invalid address, invalid address format");
    EXPECT_EQ(parseFailure("<nocolon>", filled), "(0) invalid address, invalid uri, no scheme");
}

TEST(SipAddressField, UnbracketedParametersBelongToTheHeader) {
    // RFC 4475 3.3.13 (cparam01): unknownparam is a contact parameter, not a URI parameter.
    const SipContact bare = parsed<SipContact>("sip:+19725552222@gw1.example.net;unknownparam");
    EXPECT_TRUE(bare.address.uri.getParameters().empty());
    ASSERT_NE(bare.findParameter("unknownparam"), nullptr);
    // RFC 4475 3.3.14 (cparam02): inside the brackets it is a URI parameter.
    const SipContact bracketed = parsed<SipContact>("<sip:+19725552222@gw1.example.net;unknownparam>");
    EXPECT_TRUE(bracketed.getParameters().empty());
    ASSERT_NE(bracketed.address.uri.findParameter("unknownparam"), nullptr);
}

TEST(SipAddressField, UserPartSemicolonInAnUnbracketedHeader) {
    const SipFromTo to = parsed<SipFromTo>("sip:user;par=x@example.com;tag=7");
    EXPECT_EQ(to.address.uri.userInfo.user, "user;par=x");
    EXPECT_EQ(to.address.uri.hostPort.host, "example.com");
    EXPECT_EQ(to.tag, "7");
    // RFC 4475 3.1.1.2 (intmeth): To with ";", "?" and "," in the user part.
    const SipFromTo odd = parsed<SipFromTo>("sip:1_unusual.URI~(to-be!sure)&isn't+it$/crazy?,/;;*@example.com");
    EXPECT_EQ(odd.address.uri.userInfo.user, "1_unusual.URI~(to-be!sure)&isn't+it$/crazy?,/;;*");
    EXPECT_TRUE(odd.getParameters().empty());
    // A ";" with LWS around it ends the address even when an "@" follows, also when the
    // look-ahead from an earlier ";" reaches it.
    const SipFromTo spaced = parsed<SipFromTo>("sip:host ;x=a@b");
    EXPECT_EQ(spaced.address.uri.hostPort.host, "host");
    EXPECT_EQ(spaced.findParameter("x")->value, "a@b");
    // Printed bare, the parameter would read back as a user part; brackets keep it apart.
    EXPECT_EQ(spaced.toString(), "<sip:host>;x=a@b");
    const SipRoute later = parsed<SipRoute>("sip:h;a=1; b=c@d");
    EXPECT_EQ(later.address.uri.hostPort.host, "h");
    EXPECT_EQ(later.findParameter("b")->value, "c@d");
}

TEST(SipAddressField, FoldedLwsAroundParameters) {
    // After RFC 4475 3.1.1.1 (wsinv).
    const SipContact contact = parsed<SipContact>(
        "\"Quoted string \\\"\\\"\" <sip:jdrosen@example.com> ; newparam =\r\n      newvalue ;\r\n  secondparam ; q = 0.33");
    EXPECT_EQ(contact.address.displayName, "\"Quoted string \\\"\\\"\"");
    EXPECT_EQ(contact.findParameter("newparam")->value, "newvalue");
    EXPECT_NE(contact.findParameter("secondparam"), nullptr);
    EXPECT_FLOAT_EQ(contact.q, 0.33f);
    EXPECT_EQ(contact.toString(), "\"Quoted string \\\"\\\"\" <sip:jdrosen@example.com>;q=0.33;newparam=newvalue;secondparam");
    const SipFromTo to = parsed<SipFromTo>("sip:vivekg@chair-dnrc.example.com ;   tag    = 1918181833n");
    EXPECT_EQ(to.tag, "1918181833n");
}

TEST(SipAddressField, ContactTakesExpiresAndQ) {
    const SipContact contact = parsed<SipContact>("<sip:a@b;transport=tcp>;expires=3600;Q=0.5");
    EXPECT_EQ(contact.expires, 3600);
    EXPECT_FLOAT_EQ(contact.q, 0.5f);
    EXPECT_TRUE(contact.getParameters().empty());
    EXPECT_EQ(contact.toString(), "<sip:a@b;transport=tcp>;expires=3600;q=0.5");
    // q=0 is the lowest preference, not its absence, and is kept.
    const SipContact last = parsed<SipContact>("<sip:a@b>;q=0.000");
    EXPECT_FLOAT_EQ(last.q, 0.0f);
    EXPECT_EQ(last.toString(), "<sip:a@b>;q=0");
    EXPECT_LT(parsed<SipContact>("<sip:a@b>").q, 0.0f);
}

TEST(SipAddressField, WildcardContactIsExactlyAStar) {
    const SipContact star = parsed<SipContact>(" * ");
    EXPECT_TRUE(star.wildcard);
    EXPECT_TRUE(star.address.empty());
    EXPECT_EQ(star.toString(), "*");
    EXPECT_EQ(parseFailure<SipContact>("*;q=1"), "(0) invalid address field, invalid address, invalid uri, no scheme");
}

TEST(SipAddressField, OutOfRangeContactNumbersFail) {
    const SipContact filled = parsed<SipContact>("<sip:a@b>;expires=5");
    EXPECT_EQ(parseFailure("<sip:a@b>;expires=99999999999", filled), "(0) invalid address field, invalid expires");
    EXPECT_EQ(parseFailure("<sip:a@b>;expires=-1", filled), "(0) invalid address field, invalid expires");
    EXPECT_EQ(parseFailure("<sip:a@b>;q=1.5", filled), "(0) invalid address field, invalid q value");
    EXPECT_EQ(parseFailure("<sip:a@b>;q=0.1234", filled), "(0) invalid address field, invalid q value");
    // Delta-seconds reach 2**32-1 (RFC 3261 section 20.19), beyond a signed 32-bit value.
    EXPECT_EQ(parsed<SipContact>("<sip:a@b>;expires=4294967295").expires, 4294967295);
    EXPECT_EQ(parsed<SipContact>("<sip:a@b>;expires=4294967295").toString(), "<sip:a@b>;expires=4294967295");
    EXPECT_EQ(parseFailure("<sip:a@b>;expires=4294967296", filled), "(0) invalid address field, invalid expires");
    EXPECT_EQ(parsed<SipContact>("<sip:a@b>;expires;q").expires, -1);
}

TEST(SipAddressField, MalformedFieldsFail) {
    EXPECT_EQ(parseFailure<SipFromTo>(""), "(0) invalid address field, no contact");
    EXPECT_EQ(parseFailure<SipFromTo>("<sip:a@b> junk"), "(0) invalid address field, invalid address format");
    EXPECT_EQ(parseFailure<SipFromTo>("<sip:a@b>;;tag=1"), "(0) invalid address field, no param data");
    EXPECT_EQ(parseFailure<SipRoute>("<sip:a@b:99999;lr>"),
              "(0) invalid address field, invalid address, invalid uri, invalid hostport, invalid port");
}

TEST(SipAddressField, EscapingAppliesToTheUriOnlyAndUnescapeToUriAndParameters) {
    SipFromTo from = parsed<SipFromTo>("<sip:I%20have%20spaces@example.net>;tag=938;x=%41");
    from.unescape();
    EXPECT_EQ(from.address.uri.userInfo.user, "I have spaces");
    EXPECT_EQ(from.findParameter("x")->value, "A");
    from.setParameter("y", "a b");
    std::string out;
    from.print(out, true);
    EXPECT_EQ(out, "<sip:I%20have%20spaces@example.net>;tag=938;x=A;y=a b");
}

TEST(SipAddressField, ReferredByTakesCidAndRouteKeepsGenericParameters) {
    const SipReferredBy by = parsed<SipReferredBy>("<sip:referrer@example.com>;cid=\"20398823.2UWQFN309shb3@referrer.example\"");
    EXPECT_EQ(by.cid, "\"20398823.2UWQFN309shb3@referrer.example\"");
    EXPECT_EQ(by.toString(), "<sip:referrer@example.com>;cid=\"20398823.2UWQFN309shb3@referrer.example\"");
    const SipRoute route = parsed<SipRoute>("<sip:p1.example.com;lr>;foo=bar");
    EXPECT_TRUE(route.address.uri.lr);
    EXPECT_EQ(route.findParameter("foo")->value, "bar");
}
