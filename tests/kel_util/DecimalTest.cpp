#include "kel_util/Decimal.h"

#include <gtest/gtest.h>

#include <cstdint>

using kel_util::parseDecimal;

TEST(Decimal, AcceptsDigitsWithinRange) {
    EXPECT_EQ(parseDecimal("0", 0, 10), 0);
    EXPECT_EQ(parseDecimal("65535", 0, 65535), 65535);
    EXPECT_EQ(parseDecimal("007", 0, 10), 7);
    EXPECT_EQ(parseDecimal("9223372036854775807", 0, INT64_MAX), INT64_MAX);
}

TEST(Decimal, RejectsAnythingButPlainDigits) {
    for (const char* text : {"", "-1", "+1", " 1", "1 ", "1a", "0x10", "1.5", "\x80"}) {
        EXPECT_FALSE(parseDecimal(text, 0, INT64_MAX)) << '"' << text << '"';
    }
}

TEST(Decimal, RejectsOverflowInsteadOfWrapping) {
    EXPECT_FALSE(parseDecimal("9223372036854775808", 0, INT64_MAX));
    EXPECT_FALSE(parseDecimal("18446744073709551617", 0, INT64_MAX));
    EXPECT_FALSE(parseDecimal("99999999999", 0, UINT32_MAX));
}

TEST(Decimal, RejectsValuesOutsideTheFieldRange) {
    EXPECT_FALSE(parseDecimal("70000", 0, 65535));
    EXPECT_FALSE(parseDecimal("99", 100, 699));
    EXPECT_FALSE(parseDecimal("700", 100, 699));
}
