#include "kel_sip/syntax/SipDate.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <string>

#include "HeaderTestUtil.h"

using header_test::failure;
using header_test::parsed;
using kel_sip::SipDate;

namespace {

constexpr const char* sample = "Sun, 06 Nov 1994 08:49:37 GMT";

std::string dateError(const std::string& text) { return failure<SipDate>(text, sample); }

std::int64_t gmt(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    return timegm(&t);
}

}  // namespace

TEST(SipDate, ParsesAndPrintsTheRfc1123Example) {
    const SipDate date = parsed<SipDate>(sample);
    EXPECT_EQ(date.getTime(), 784111777);
    EXPECT_EQ(date.toString(), sample);
}

TEST(SipDate, DayCountAgreesWithTheCalendarAroundMonthAndLeapBoundaries) {
    struct Case {
        const char* text;
        int year, month, day, hour, minute, second;
    };
    const Case cases[] = {
        {"Thu, 01 Jan 1970 00:00:00 GMT", 1970, 1, 1, 0, 0, 0},
        {"Sat, 28 Feb 1970 23:59:59 GMT", 1970, 2, 28, 23, 59, 59},
        {"Sun, 01 Mar 1970 00:00:00 GMT", 1970, 3, 1, 0, 0, 0},
        {"Tue, 29 Feb 2000 12:00:00 GMT", 2000, 2, 29, 12, 0, 0},
        {"Wed, 01 Mar 2100 00:00:00 GMT", 2100, 3, 1, 0, 0, 0},
        {"Thu, 31 Dec 2037 23:59:60 GMT", 2037, 12, 31, 23, 59, 60},
        {"Fri, 31 Dec 9999 23:59:59 GMT", 9999, 12, 31, 23, 59, 59},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parsed<SipDate>(c.text).getTime(), gmt(c.year, c.month, c.day, c.hour, c.minute, c.second)) << c.text;
    }
}

TEST(SipDate, PrintedTimesParseBackToTheSameSecond) {
    // Steps of a little over 37 days visit every month, weekday and leap rule from 1970 to 2400.
    for (std::int64_t time = 0; time < gmt(2400, 12, 31, 0, 0, 0); time += 37 * 86400 + 3671) {
        const std::string text = SipDate(time).toString();
        ASSERT_EQ(parsed<SipDate>(text).getTime(), time) << text;
    }
}

TEST(SipDate, BlanksAfterTheCommaAndTheYearAndTextAfterTheSecondsAreAccepted) {
    EXPECT_EQ(parsed<SipDate>("Sun,\t 06 Nov 1994 \t08:49:37").getTime(), 784111777);
    EXPECT_EQ(parsed<SipDate>("Sun, 06 Nov 1994 08:49:37 UTC").getTime(), 784111777);
}

TEST(SipDate, MissingPartsFailWithTheirOwnReason) {
    EXPECT_EQ(dateError(""), "(0) invalid date, no weekday");
    EXPECT_EQ(dateError("Sun 06 Nov 1994 08:49:37 GMT"), "(0) invalid date, no weekday");
    EXPECT_EQ(dateError("Sun, 06"), "(0) invalid date, no day");
    EXPECT_EQ(dateError("Sun, 06 Nov"), "(0) invalid date, no month");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994"), "(0) invalid date, no year");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994 08"), "(0) invalid date, no time");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994 08:49"), "(0) invalid date, no time");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994 08:49:"), "(0) invalid date, no time");
}

TEST(SipDate, OutOfRangeOrNonNumericFieldsFailWithoutOverflow) {
    EXPECT_EQ(dateError("Sun, 32 Nov 1994 08:49:37 GMT"), "(0) invalid date, invalid day");
    EXPECT_EQ(dateError("Sun, 00 Nov 1994 08:49:37 GMT"), "(0) invalid date, invalid day");
    EXPECT_EQ(dateError("Sun,  Nov 1994 08:49:37 GMT"), "(0) invalid date, invalid day");
    EXPECT_EQ(dateError("Sun, 18446744073709551623 Nov 1994 08:49:37 GMT"), "(0) invalid date, invalid day");
    EXPECT_EQ(dateError("Sun, 06 nov 1994 08:49:37 GMT"), "(0) invalid date, invalid month");
    EXPECT_EQ(dateError("Sun, 06 November 1994 08:49:37 GMT"), "(0) invalid date, invalid month");
    EXPECT_EQ(dateError("Sun, 06 Nov 1969 08:49:37 GMT"), "(0) invalid date, invalid year");
    EXPECT_EQ(dateError("Sun, 06 Nov 10000 08:49:37 GMT"), "(0) invalid date, invalid year");
    EXPECT_EQ(dateError("Sun, 06 Nov 9223372036854775807 08:49:37 GMT"), "(0) invalid date, invalid year");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994 25:49:37 GMT"), "(0) invalid date, invalid hour");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994 :49:37 GMT"), "(0) invalid date, invalid hour");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994 -1:49:37 GMT"), "(0) invalid date, invalid hour");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994 08:61:37 GMT"), "(0) invalid date, invalid minute");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994 08:49:61 GMT"), "(0) invalid date, invalid second");
    EXPECT_EQ(dateError("Sun, 06 Nov 1994 08:49:3x GMT"), "(0) invalid date, invalid second");
}

TEST(SipDate, FailedParseWithoutClearFirstKeepsTheOldTime) {
    SipDate date(42);
    const std::string bad = "Sun, 06 Nov 1994 99:00:00 GMT";
    EXPECT_THROW(date.parse(bad.data(), static_cast<int>(bad.size()), false), kel_sip::SipParseException);
    EXPECT_EQ(date.getTime(), 42);
}

TEST(SipDate, PrintsNothingWhenUnsetOrBeyondFourDigitYears) {
    EXPECT_EQ(SipDate().toString(), "");
    EXPECT_EQ(SipDate(gmt(10000, 1, 1, 0, 0, 0)).toString(), "");
    EXPECT_EQ(SipDate(INT64_MAX).toString(), "");
}
