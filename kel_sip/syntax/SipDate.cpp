#include "kel_sip/syntax/SipDate.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <string_view>

#include "kel_sip/syntax/SipFieldParse.h"
#include "kel_sip/syntax/SipNumber.h"
#include "kel_sip/syntax/SipTokenizer.h"

namespace kel_sip {
namespace {

constexpr std::array<std::string_view, 12> monthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> weekdayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

constexpr std::int64_t maxYear = 9999;  // RFC 1123 dates have four-digit years

int parseMonth(std::string_view text) {
    for (size_t i = 0; i < monthNames.size(); ++i) {
        if (text == monthNames[i]) return static_cast<int>(i) + 1;
    }
    throw SipParseException("invalid month");
}

// Days since 1970-01-01 of a Gregorian date; January and February count as months 13 and 14 of
// the year before, so the leap day falls at the end of the counted year.
std::int64_t daysSinceEpoch(std::int64_t year, std::int64_t month, std::int64_t day) {
    const std::int64_t y = month <= 2 ? year - 1 : year;
    const std::int64_t m = month <= 2 ? month + 12 : month;
    // 365.25 * y and 30.59 * (m - 2), rounded down, in exact integer arithmetic.
    return 365 * y + y / 4 + y / 400 - y / 100 + 3059 * (m - 2) / 100 + day - 719499;
}

std::int64_t parseDate(const char* data, int length) {
    SipTokenizer tokenizer(data, length < 0 ? 0 : length);
    nextRequiredToken(tokenizer, ',', "no weekday");
    const std::int64_t day = parseNumber(nextRequiredToken(tokenizer, ' ', "no day"), 1, 31, "invalid day");
    const std::int64_t month = parseMonth(nextRequiredToken(tokenizer, ' ', "no month"));
    const std::int64_t year = parseNumber(nextRequiredToken(tokenizer, ' ', "no year"), 1970, maxYear, "invalid year");
    const std::int64_t hour = parseNumber(nextRequiredToken(tokenizer, ':', "no time"), 0, 24, "invalid hour");
    const std::int64_t minute = parseNumber(nextRequiredToken(tokenizer, ':', "no time"), 0, 60, "invalid minute");
    int len = 0;
    const char* secondText = tokenizer.nextWord(len);
    if (secondText == nullptr || len == 0) throw SipParseException("no time");
    const std::int64_t second =
        parseNumber(std::string_view(secondText, static_cast<size_t>(len)), 0, 60, "invalid second");
    return daysSinceEpoch(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

}  // namespace

void SipDate::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid date", [&] { time_ = parseDate(data, length); });
}

void SipDate::print(std::string& out) const {
    if (empty()) return;
    const auto seconds = static_cast<std::time_t>(time_);
    std::tm t{};
    if (gmtime_r(&seconds, &t) == nullptr || t.tm_year + 1900 > maxYear) return;
    char text[40];
    const int n = std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d GMT",
                                weekdayNames[static_cast<size_t>(t.tm_wday)].data(), t.tm_mday,
                                monthNames[static_cast<size_t>(t.tm_mon)].data(), t.tm_year + 1900, t.tm_hour,
                                t.tm_min, t.tm_sec);
    out.append(text, static_cast<size_t>(n));
}

}  // namespace kel_sip
