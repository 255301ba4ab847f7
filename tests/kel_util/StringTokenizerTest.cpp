#include "kel_util/StringTokenizer.h"

#include <gtest/gtest.h>

#include <string>

using kel_util::StringTokenizer;

namespace {

// len by reference: it is read after the tokenizer call has set it.
std::string token(const char* p, const int& len) { return p == nullptr ? "<null>" : std::string(p, len); }

}  // namespace

TEST(StringTokenizer, NextTokenSplitsAndReportsTheDelimiter) {
    const std::string text = "a;b;";
    StringTokenizer t(text.data(), static_cast<int>(text.size()));
    int len = 0;
    bool found = false;
    EXPECT_EQ(token(t.nextToken(';', len, &found), len), "a");
    EXPECT_TRUE(found);
    EXPECT_EQ(token(t.nextToken(';', len, &found), len), "b");
    EXPECT_TRUE(found);
    EXPECT_EQ(t.nextToken(';', len, &found), nullptr);
}

TEST(StringTokenizer, QuotedDelimitersDoNotSplit) {
    const std::string text = "x=\"a;b\"c;y";
    StringTokenizer t(text.data(), static_cast<int>(text.size()));
    int len = 0;
    bool found = false;
    EXPECT_EQ(token(t.nextQuotedToken(';', len, &found), len), "x=\"a;b\"c");
    EXPECT_TRUE(found);
    EXPECT_EQ(token(t.nextQuotedToken(';', len, &found), len), "y");
    EXPECT_FALSE(found);
}

TEST(StringTokenizer, BackslashParityDecidesWhetherAQuoteCloses) {
    // One backslash escapes the quote; two backslashes escape each other and the quote closes.
    const std::string escaped = R"("a\";b";c)";
    StringTokenizer t1(escaped.data(), static_cast<int>(escaped.size()));
    int len = 0;
    EXPECT_EQ(token(t1.nextQuotedToken(';', len), len), R"("a\";b")");

    const std::string closed = R"("a\\";b";c)";
    StringTokenizer t2(closed.data(), static_cast<int>(closed.size()));
    EXPECT_EQ(token(t2.nextQuotedToken(';', len), len), R"("a\\")");
}

TEST(StringTokenizer, UnterminatedQuoteRunsToTheEnd) {
    const std::string text = "\"a;b";
    StringTokenizer t(text.data(), static_cast<int>(text.size()));
    int len = 0;
    char hit = 'x';
    EXPECT_EQ(token(t.nextQuotedTokenAny(";,", len, &hit), len), "\"a;b");
    EXPECT_EQ(hit, '\0');
}

TEST(StringTokenizer, NextLineDropsTheCarriageReturnAndWorksWithoutNul) {
    const char bytes[] = {'a', '\r', '\n', 'b', '\0', 'c'};
    StringTokenizer t(bytes, sizeof bytes);
    int len = 0;
    bool found = false;
    EXPECT_EQ(token(t.nextLine(len, &found), len), "a");
    EXPECT_TRUE(found);
    EXPECT_EQ(token(t.nextLine(len, &found), len), std::string("b\0c", 3));
    EXPECT_FALSE(found);
}

TEST(StringTokenizer, AdvanceStaysInsideTheRange) {
    const std::string text = "abc";
    StringTokenizer t(text.data(), 3);
    t.advance(10);
    EXPECT_EQ(t.getPosition(), 3);
    t.advance(-10);
    EXPECT_EQ(t.getPosition(), 0);
    int len = 0;
    bool found = false;
    EXPECT_EQ(token(t.nextTokenString("bc", len, &found), len), "a");
    EXPECT_TRUE(found);
    EXPECT_TRUE(t.atEnd());
}

TEST(StringTokenizer, NextTokenAnyReportsWhichDelimiterEndedTheToken) {
    const std::string text = "a,b;c";
    StringTokenizer t(text.data(), static_cast<int>(text.size()));
    int len = 0;
    char hit = 'x';
    EXPECT_EQ(token(t.nextTokenAny(";,", len, &hit), len), "a");
    EXPECT_EQ(hit, ',');
    EXPECT_EQ(token(t.nextTokenAny(";,", len, &hit), len), "b");
    EXPECT_EQ(hit, ';');
    EXPECT_EQ(token(t.nextTokenAny(";,", len, &hit), len), "c");
    EXPECT_EQ(hit, '\0');
    EXPECT_EQ(t.nextTokenAny(";,", len, &hit), nullptr);
}

TEST(StringTokenizer, NoDataYieldsNoTokensAndAMissingStringTakesTheRest) {
    StringTokenizer empty;
    int len = 0;
    EXPECT_EQ(empty.nextQuotedToken(';', len), nullptr);
    EXPECT_EQ(empty.nextLine(len), nullptr);

    // "--b" is cut off at the end of the range: not found, the whole rest is the token.
    const std::string text = "ab--";
    StringTokenizer t(text.data(), static_cast<int>(text.size()));
    bool found = true;
    EXPECT_EQ(token(t.nextTokenString("--b", len, &found), len), "ab--");
    EXPECT_FALSE(found);
    EXPECT_TRUE(t.atEnd());
}
