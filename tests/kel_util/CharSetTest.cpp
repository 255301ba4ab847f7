#include "kel_util/CharSet.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using kel_util::CharSet;
using namespace std::string_view_literals;

TEST(CharSet, FindsTheFirstMemberFromThePosition) {
    constexpr CharSet set(";?");
    EXPECT_EQ(set.findIn("host;a=b?h=v"), 4u);
    EXPECT_EQ(set.findIn("host;a=b?h=v", 5), 8u);
    EXPECT_EQ(set.findIn("host;a=b?h=v", 9), std::string_view::npos);
    EXPECT_EQ(set.findIn("", 0), std::string_view::npos);
    EXPECT_EQ(set.findIn("a;", 7), std::string_view::npos);
}

TEST(CharSet, BytesAboveAsciiAndNulAreOrdinaryBytes) {
    constexpr CharSet set("\r\n");
    EXPECT_FALSE(set.anyIn("caf\xc3\xa9\0x"sv));
    EXPECT_TRUE(set.anyIn("a\0\nb"sv));
    constexpr CharSet high("\xff");
    EXPECT_TRUE(high.contains('\xff'));
    EXPECT_FALSE(high.contains('\x7f'));
    EXPECT_FALSE(high.contains('\0'));
}
