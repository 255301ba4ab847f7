#include "kel_sip/syntax/SipGenericField.h"

#include <gtest/gtest.h>

#include <string>

#include "SipTestUtil.h"
#include "kel_sip/syntax/SipNumber.h"

using kel_sip::SipGenericField;
using kel_sip::SipParseException;

namespace {

SipGenericField parsed(const std::string& text) { return kel_sip::test::parsed<SipGenericField>(text); }

std::string failure(const std::string& text) {
    SipGenericField filled;
    filled.addParameter("keep", "me");
    return kel_sip::test::parseFailure(text, filled);
}

}  // namespace

TEST(SipGenericField, ParsesTrimsAndPrintsParameters) {
    const SipGenericField field = parsed("a = 1 ; b ;c=\"x;y\"");
    ASSERT_EQ(field.getParameters().size(), 3u);
    EXPECT_EQ(field.findParameter("A")->value, "1");
    EXPECT_EQ(field.findParameter("b")->value, "");
    EXPECT_EQ(field.findParameter("c")->value, "\"x;y\"");
    EXPECT_EQ(field.toString(), "a=1;b;c=\"x;y\"");
}

TEST(SipGenericField, RepeatedNameReplacesTheFirst) {
    const SipGenericField field = parsed("tag=1;TAG=2");
    ASSERT_EQ(field.getParameters().size(), 1u);
    EXPECT_EQ(field.toString(), "TAG=2");
}

TEST(SipGenericField, EmptyParameterOrNameFails) {
    EXPECT_EQ(failure("a;;b"), "(0) invalid generic field, no param data");
    EXPECT_EQ(failure("=1"), "(0) invalid generic field, no param name");
    EXPECT_EQ(failure("a; =1"), "(0) invalid generic field, no param name");
}

TEST(SipGenericField, ContainsParametersComparesWithoutCaseAndIgnoresExtras) {
    const SipGenericField mine = parsed("a=X;b=2;extra");
    EXPECT_TRUE(mine.containsParameters(parsed("A=x;b=2")));
    EXPECT_FALSE(mine.containsParameters(parsed("a=Y")));
    EXPECT_FALSE(mine.containsParameters(parsed("c")));
}

TEST(SipNumber, RejectsSignsBlanksInsideOverflowAndRange) {
    EXPECT_EQ(kel_sip::parseInt(" 5060 ", 0, 65535, "bad"), 5060);
    for (const char* text : {"70000", "-1", "+1", "1 2", "0x10", "", "99999999999999999999999"}) {
        EXPECT_THROW(kel_sip::parseInt(text, 0, 65535, "bad"), SipParseException) << text;
    }
}

TEST(SipNumber, QValueIsZeroToOneWithAtMostThreeDecimals) {
    EXPECT_EQ(kel_sip::parseQValue("0.7"), 700);
    EXPECT_EQ(kel_sip::parseQValue("1.000"), 1000);
    EXPECT_EQ(kel_sip::parseQValue("0.005"), 5);
    EXPECT_EQ(kel_sip::parseQValue("0."), 0);
    for (const char* text : {"1.5", "1.001", "2", "0.1234", ".5", "00.5", "-0.5", "0,5", "0.5x"}) {
        EXPECT_THROW(kel_sip::parseQValue(text), SipParseException) << text;
    }
    for (int q : {0, 5, 50, 500, 705, 1000}) {
        std::string out;
        kel_sip::printQValue(out, q);
        EXPECT_EQ(kel_sip::parseQValue(out), q) << out;
    }
}

TEST(SipGenericField, ParameterCountIsBounded) {
    std::string text;
    for (size_t i = 0; i < SipGenericField::kMaxParameters; ++i) text += "p" + std::to_string(i) + "=1;";
    EXPECT_EQ(parsed(text + "p0=2").getParameters().size(), SipGenericField::kMaxParameters);
    EXPECT_EQ(failure(text + "one-more"), "(0) invalid generic field, too many parameters");
}
