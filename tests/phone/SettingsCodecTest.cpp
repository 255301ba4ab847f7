#include "phone/SettingsCodec.h"

#include <gtest/gtest.h>

#include <climits>

TEST(SettingsCodec, LineBreaksAndBackslashesSurviveEscaping) {
    for (const std::string text :
         {"INVITE sip:a@b SIP/2.0\r\nVia: x\r\n\r\n", "\\r is not a CR\\n", "\\", "\n\r\\\\n"}) {
        const std::string escaped = escapeLineBreaks(text);
        EXPECT_EQ(escaped.find_first_of("\r\n"), std::string::npos) << escaped;
        EXPECT_EQ(unescapeLineBreaks(escaped), text);
    }
    EXPECT_EQ(escapeLineBreaks("a\r\nb"), "a\\r\\nb");
}

TEST(SettingsCodec, UnescapingKeepsUnknownBackslashSequencesOfOlderFiles) {
    EXPECT_EQ(unescapeLineBreaks("a\\r\\nb"), "a\r\nb");
    EXPECT_EQ(unescapeLineBreaks("C:\\tmp\\x"), "C:\\tmp\\x");
    EXPECT_EQ(unescapeLineBreaks("end\\"), "end\\");
}

TEST(SettingsCodec, IntegersAreCheckedForSyntaxAndOverflow) {
    EXPECT_EQ(parseSettingInt("0"), 0);
    EXPECT_EQ(parseSettingInt("-1"), -1);
    EXPECT_EQ(parseSettingInt("2147483647"), INT_MAX);
    EXPECT_EQ(parseSettingInt("-2147483648"), INT_MIN);
    for (const char* bad : {"", "-", "+1", "2147483648", "-2147483649", "9999999999", "1x", " 1", "0x10"}) {
        EXPECT_FALSE(parseSettingInt(bad)) << bad;
    }
    EXPECT_EQ(parseSettingBool("1"), true);
    EXPECT_EQ(parseSettingBool("0"), false);
    EXPECT_EQ(parseSettingBool("2"), true);
    EXPECT_FALSE(parseSettingBool("yes"));
}

TEST(SettingsCodec, RealsUseADotAndSixDecimals) {
    EXPECT_EQ(formatSettingReal(0.0), "0.000000");
    EXPECT_EQ(formatSettingReal(0.5), "0.500000");
    EXPECT_EQ(formatSettingReal(1.0), "1.000000");
    EXPECT_EQ(parseSettingReal("0.700000"), 0.7);
    EXPECT_EQ(parseSettingReal("1"), 1.0);
    for (const char* bad : {"", "0,5", "0.5x", "nan", "inf", "1e999"}) {
        EXPECT_FALSE(parseSettingReal(bad)) << bad;
    }
}

TEST(SettingsCodec, ColoursAreHexadecimalWithMinusOneForDefault) {
    EXPECT_EQ(parseSettingColor("-1"), -1);
    EXPECT_EQ(parseSettingColor("ff8000"), 0xff8000);
    EXPECT_EQ(parseSettingColor("FF"), 0xff);
    EXPECT_EQ(formatSettingColor(0xff8000), "ff8000");
    for (const char* bad : {"", "-2", "xyz", "123456789", "0x10"}) {
        EXPECT_FALSE(parseSettingColor(bad)) << bad;
    }
}
