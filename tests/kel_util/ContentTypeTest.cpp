#include "kel_util/ContentType.h"

#include <gtest/gtest.h>

#include <string>

using kel_util::ContentType;

namespace {

bool parse(ContentType& type, const std::string& text, bool clearFirst = true) {
    return type.parse(text.data(), static_cast<int>(text.size()), clearFirst);
}

std::string parameter(const ContentType& type, const char* name) {
    const auto* found = type.findParameter(name);
    return found == nullptr ? "<none>" : found->value;
}

}  // namespace

TEST(ContentType, BoundaryLosesItsQuotesOtherParametersKeepThem) {
    ContentType type;
    ASSERT_TRUE(parse(type, "multipart/related;boundary=\"b1\";type=\"application/pidf+xml\""));
    EXPECT_EQ(type.type, "multipart");
    EXPECT_EQ(type.subType, "related");
    EXPECT_EQ(type.boundary, "b1");
    EXPECT_EQ(parameter(type, "TYPE"), "\"application/pidf+xml\"");
    EXPECT_TRUE(type.isMultipart());
}

TEST(ContentType, LinearWhiteSpaceIsSkippedAroundEveryPart) {
    ContentType type;
    ASSERT_TRUE(parse(type, " multipart / related ; boundary = \"b1\" ;\r\n\tcharset=utf-8 \r\n"));
    EXPECT_EQ(type.type, "multipart");
    EXPECT_EQ(type.subType, "related");
    EXPECT_EQ(type.boundary, "b1");
    EXPECT_EQ(parameter(type, "charset"), "utf-8");
}

TEST(ContentType, QuotedSemicolonStaysInTheValue) {
    ContentType type;
    ASSERT_TRUE(parse(type, "text/plain; name=\"a;b\"; x"));
    EXPECT_EQ(parameter(type, "name"), "\"a;b\"");
    EXPECT_EQ(parameter(type, "x"), "");
}

TEST(ContentType, TrailingSemicolonIsAccepted) {
    ContentType type;
    EXPECT_TRUE(parse(type, "text/plain;"));
    EXPECT_TRUE(parse(type, "text/plain; "));
    EXPECT_EQ(type.subType, "plain");
    EXPECT_TRUE(type.getParameters().empty());
}

TEST(ContentType, MalformedTextFailsAndClearFirstLeavesNothing) {
    ContentType type;
    for (const std::string text : {"text", "/plain", " /plain", "text/", "text/ ;a=b", "text/plain;=x", "text/plain;;a=b"}) {
        parse(type, "application/sdp;x=1");
        EXPECT_FALSE(parse(type, text)) << text;
        EXPECT_TRUE(type.type.empty() && type.subType.empty() && type.getParameters().empty()) << text;
    }
}
