#include "kel_sip/syntax/SipEscape.h"

#include <gtest/gtest.h>

#include <string>

using kel_sip::SipEscapeSet;

namespace {

std::string escaped(std::string text, SipEscapeSet set) {
    kel_sip::escape(text, set);
    return text;
}

}  // namespace

TEST(SipEscape, EachComponentKeepsItsOwnUnreservedBytes) {
    const std::string probe = "a;?&=:/[]@ ";
    EXPECT_EQ(escaped(probe, SipEscapeSet::User), "a;?&=%3A/%5B%5D%40%20");
    EXPECT_EQ(escaped(probe, SipEscapeSet::Password), "a%3B%3F%26%3D%3A%2F%5B%5D%40%20");
    EXPECT_EQ(escaped(probe, SipEscapeSet::Parameter), "a%3B%3F&%3D:/[]%40%20");
    EXPECT_EQ(escaped(probe, SipEscapeSet::Header), "a%3B?%26%3D:/[]%40%20");
    EXPECT_EQ(escaped("tc p%!`", SipEscapeSet::Token), "tc%20p%!`");
    EXPECT_EQ(escaped("-_.!~*'()", SipEscapeSet::Password), "-_.!~*'()");
}

TEST(SipEscape, NulAndHighBytesAreEscapedUpperCase) {
    EXPECT_EQ(escaped(std::string("a\0\xff\x7f", 4), SipEscapeSet::User), "a%00%FF%7F");
}

TEST(SipEscape, EscapesOfEitherCaseStayOnOutputAndAreDecodedOnInput) {
    // "%3b" is the escape "%3B" (RFC 3986 section 2.1); escaping it again would name another user.
    EXPECT_EQ(escaped("%41%4a%3b%", SipEscapeSet::User), "%41%4a%3b%25");
    EXPECT_EQ(escaped("%4", SipEscapeSet::User), "%254");
    EXPECT_EQ(escaped("%4g", SipEscapeSet::User), "%254g");
    std::string lower = "al%3bice%2F%4";
    kel_sip::unescape(lower);
    EXPECT_EQ(lower, "al;ice/%4");
}

TEST(SipEscape, UnescapeIsTheInverseForUpperCaseEscapes) {
    for (const std::string& text : {std::string("I have spaces"), std::string("\x01\0\xfe;x", 5), std::string("%")}) {
        std::string round = escaped(text, SipEscapeSet::Password);
        kel_sip::unescape(round);
        EXPECT_EQ(round, text);
    }
    std::string truncated = "ab%4";
    kel_sip::unescape(truncated);
    EXPECT_EQ(truncated, "ab%4");
}
