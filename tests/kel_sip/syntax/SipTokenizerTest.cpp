#include "kel_sip/syntax/SipTokenizer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

using kel_sip::SipTokenizer;

namespace {

std::string token(const char* p, const int& len) { return p == nullptr ? "<null>" : std::string(p, len); }

std::vector<std::string> addresses(const std::string& text) {
    SipTokenizer t(text);
    std::vector<std::string> out;
    int len = 0;
    while (const char* p = t.nextAddress(len)) out.emplace_back(p, len);
    return out;
}

}  // namespace

TEST(SipTokenizer, TrimmedTokenCutsLwsIncludingFoldedLineEnds) {
    const std::string text = "a \r\n\t; \r\n b";
    SipTokenizer t(text);
    int len = 0;
    bool found = false;
    EXPECT_EQ(token(t.nextTrimmedToken(';', len, &found), len), "a");
    EXPECT_TRUE(found);
    EXPECT_EQ(token(t.nextTrimmedToken(';', len, &found), len), "b");
    EXPECT_FALSE(found);
}

TEST(SipTokenizer, UntrimmedWhenTheDelimiterIsMissing) {
    const std::string text = "a  ";
    SipTokenizer t(text);
    int len = 0;
    bool found = true;
    EXPECT_EQ(token(t.nextTrimmedToken(';', len, &found), len), "a  ");
    EXPECT_FALSE(found);
}

TEST(SipTokenizer, BareLineEndIsNotLws) {
    // CR LF not followed by white space ends a header line; it must not be swallowed as LWS.
    const std::string text = "a\r\nb";
    EXPECT_EQ(SipTokenizer::lwsAfter(text.data(), 4, 1), 0);
    EXPECT_EQ(SipTokenizer::lwsBefore(text.data(), 3), 0);
    EXPECT_EQ(SipTokenizer::trimLws(" \r\n x\r\n"), "x\r\n");
    EXPECT_EQ(SipTokenizer::trimLws(" \t "), "");
}

TEST(SipTokenizer, QuotedTrimmedTokenIgnoresDelimitersInQuotes) {
    const std::string text = "x=\"a;b\" ;y";
    SipTokenizer t(text);
    int len = 0;
    EXPECT_EQ(token(t.nextQuotedTrimmedToken(';', len), len), "x=\"a;b\"");
    EXPECT_EQ(token(t.nextQuotedTrimmedToken(';', len), len), "y");
}

TEST(SipTokenizer, NextWordStopsAtLwsAndReportsIt) {
    const std::string text = "101 \r\n INVITE";
    SipTokenizer t(text);
    int len = 0;
    bool found = false;
    EXPECT_EQ(token(t.nextWord(len, &found), len), "101");
    EXPECT_TRUE(found);
    EXPECT_EQ(token(t.nextWord(len, &found), len), "INVITE");
    EXPECT_FALSE(found);
    EXPECT_EQ(t.nextWord(len, &found), nullptr);
}

TEST(SipTokenizer, SkipAnyPassesOnlyBytesOfTheSet) {
    const std::string text = std::string(" \t\0x", 4);
    SipTokenizer t(text.data(), 4);
    t.skipAny(" \t");
    EXPECT_EQ(t.getPosition(), 2);
    t.skipAny(" \t");  // the NUL byte is data, never a member of the set
    EXPECT_EQ(t.getPosition(), 2);
}

TEST(SipTokenizer, AddressListSplitsOnCommasOutsideQuotesAndBrackets) {
    EXPECT_EQ(addresses("\"Doe, John\" <sip:a@b>, <sip:c@d;x=\"1,2\">,sip:e@f"),
              (std::vector<std::string>{"\"Doe, John\" <sip:a@b>", "<sip:c@d;x=\"1,2\">", "sip:e@f"}));
    EXPECT_EQ(addresses("\"say \\\"hi, there\\\"\" <sip:a@b> , <sip:c@d>"),
              (std::vector<std::string>{"\"say \\\"hi, there\\\"\" <sip:a@b>", "<sip:c@d>"}));
}

TEST(SipTokenizer, AddressListKeepsCommaOfAUserPart) {
    // A comma without LWS around it followed by "@" belongs to the user part.
    EXPECT_EQ(addresses("sip:a,b@host,sip:c@d"), (std::vector<std::string>{"sip:a,b@host", "sip:c@d"}));
    EXPECT_EQ(addresses("sip:a,b,c@host"), (std::vector<std::string>{"sip:a,b,c@host"}));
    // With LWS the comma separates; without a following "@" it separates too.
    EXPECT_EQ(addresses("sip:a, b@host"), (std::vector<std::string>{"sip:a", "b@host"}));
    EXPECT_EQ(addresses("sip:host1,sip:host2"), (std::vector<std::string>{"sip:host1", "sip:host2"}));
    EXPECT_EQ(addresses("sip:a@h,sip:b,c@h"), (std::vector<std::string>{"sip:a@h", "sip:b,c@h"}));
}

TEST(SipTokenizer, AddressListTrimsAndHandlesEmptyElements) {
    EXPECT_EQ(addresses("  <sip:a@b>  ,\r\n <sip:c@d>  "), (std::vector<std::string>{"<sip:a@b>", "<sip:c@d>"}));
    EXPECT_EQ(addresses("<sip:a@b> , , <sip:c@d>"), (std::vector<std::string>{"<sip:a@b>", "", "<sip:c@d>"}));
    EXPECT_EQ(addresses("*"), (std::vector<std::string>{"*"}));
    EXPECT_TRUE(addresses("").empty());
    // An unterminated bracket or quote runs to the end rather than past it.
    EXPECT_EQ(addresses("<sip:a@b, sip:c"), (std::vector<std::string>{"<sip:a@b, sip:c"}));
    EXPECT_EQ(addresses("\"a, b"), (std::vector<std::string>{"\"a, b"}));
}

TEST(SipTokenizer, AddressListOfManyCommasIsSplitInLinearTime) {
    // Each comma looks ahead for an "@"; without remembering the answer a hostile list of n
    // commas costs n * n steps (minutes for this size).
    std::string many = "sip:x";
    for (int i = 0; i < 200000; ++i) many += ",y";
    std::string joined = many + "@h";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(addresses(many).size(), 200001u);
    EXPECT_EQ(addresses(joined).size(), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}
