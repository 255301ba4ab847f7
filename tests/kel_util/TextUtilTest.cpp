#include "kel_util/Arguments.h"
#include "kel_util/TextUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kel_util::Arguments;
using kel_util::split;
using kel_util::unquote;
using Strings = std::vector<std::string>;

TEST(TextUtil, SplitKeepsEmptyPiecesUnlessAsked) {
    EXPECT_EQ(split("a,,b,", ','), (Strings{"a", "", "b", ""}));
    EXPECT_EQ(split("a,,b,", ',', nullptr, true), (Strings{"a", "b"}));
    EXPECT_EQ(split("", ','), (Strings{""}));
    EXPECT_EQ(split("", ',', nullptr, true), Strings{});
}

TEST(TextUtil, SplitTrimsTheSetFromBothEnds) {
    EXPECT_EQ(split(" a b ;\t c\t; ;", ';', " \t", true), (Strings{"a b", "c"}));
}

TEST(TextUtil, UnquoteKeepsEscapedQuotes) {
    EXPECT_EQ(unquote(R"("a\"b" 'c')", "\"'"), R"(a\"b c)");
    EXPECT_EQ(unquote("\"\"", "\""), "");
}

TEST(Arguments, SplitsAtBlanksOutsideQuotes) {
    const Arguments args("  prog  -a\t'b c' \"d'e\" x\"y z\"w  ");
    EXPECT_EQ(args.getArguments(), (Strings{"prog", "-a", "b c", "d'e", "xy zw"}));
    ASSERT_EQ(args.getCount(), 5);
    EXPECT_STREQ(args.getVector()[2], "b c");
    EXPECT_EQ(args.getVector()[5], nullptr);
}

TEST(Arguments, EscapedQuotesNeitherOpenNorClose) {
    const Arguments args(R"(a\"b "c\"d" "")");
    EXPECT_EQ(args.getArguments(), (Strings{R"(a\"b)", R"(c\"d)", ""}));
}

TEST(Arguments, CopiesOwnTheirStrings) {
    Arguments copy("x");
    {
        const Arguments original("one two");
        copy = original;
    }
    ASSERT_EQ(copy.getCount(), 2);
    EXPECT_STREQ(copy.getVector()[1], "two");
    const Arguments moved = std::move(copy);
    EXPECT_STREQ(moved.getVector()[0], "one");
}
