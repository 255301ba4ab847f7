#include "kel_sip/syntax/SDPTime.h"

#include "kel_sip/syntax/SDPText.h"
#include "kel_util/Decimal.h"
#include "kel_util/Log.h"

namespace kel_sip {

using sdp_text::nextField;
using sdp_text::parseNumber;

namespace {

// Seconds per unit letter of a typed time; 0 when the byte is no unit.
std::uint64_t unitSeconds(char unit) {
    switch (unit) {
        case 'd': return 86400;
        case 'h': return 3600;
        case 'm': return 60;
        default: return 0;
    }
}

bool parseTypedTime(std::optional<std::string_view> text, std::uint64_t& out) {
    if (!text) return false;
    const auto seconds = SDPTime::getSecondValue(*text);
    if (!seconds) return false;
    out = *seconds;
    return true;
}

}  // namespace

bool SDPTime::parse(std::string_view text) {
    clear();
    auto fields = sdp_text::tokenizerOf(text);
    if (parseNumber(nextField(fields), 0, INT64_MAX, start) && parseNumber(nextField(fields), 0, INT64_MAX, stop)) {
        return true;
    }
    clear();
    return false;
}

void SDPTime::print(std::string& out) const {
    out += std::to_string(start);
    out += ' ';
    out += std::to_string(stop);
}

std::optional<std::uint64_t> SDPTime::getSecondValue(std::string_view text) {
    if (text.empty()) {
        kel_util::logPrint(kel_util::MIN, "SDPTime::getSecondValue. parse error length=%d\n", static_cast<int>(text.size()));
        return 0;
    }
    std::uint64_t multiplier = unitSeconds(text.back());
    if (multiplier != 0) {
        text.remove_suffix(1);
    } else {
        multiplier = 1;
    }
    // Up to 2^32-1 days, in whichever unit: a typed time is printed back in seconds, and that
    // form must parse again.
    constexpr std::int64_t kMaxSeconds = static_cast<std::int64_t>(UINT32_MAX) * 86400;
    const auto value = kel_util::parseDecimal(text, 0, kMaxSeconds / static_cast<std::int64_t>(multiplier));
    if (!value) return std::nullopt;
    return static_cast<std::uint64_t>(*value) * multiplier;
}

bool SDPRepeatTime::parse(std::string_view text) {
    clear();
    auto fields = sdp_text::tokenizerOf(text);
    bool valid = parseTypedTime(nextField(fields), interval) && parseTypedTime(nextField(fields), duration);
    while (valid && !fields.atEnd()) {
        std::uint64_t offset = 0;
        valid = parseTypedTime(nextField(fields), offset);
        offsets.push_back(offset);
    }
    if (valid && !offsets.empty()) return true;
    clear();
    return false;
}

void SDPRepeatTime::print(std::string& out) const {
    out += std::to_string(interval);
    out += ' ';
    out += std::to_string(duration);
    for (const std::uint64_t offset : offsets) {
        out += ' ';
        out += std::to_string(offset);
    }
}

void SDPTimeDescription::print(std::string& out) const {
    out += "t=";
    time.print(out);
    out += "\r\n";
    for (const SDPRepeatTime& repeatTime : repeatTimes) {
        if (repeatTime.isSet()) sdp_text::appendPartLine(out, "r=", repeatTime);
    }
}

void SDPTimeZoneList::print(std::string& out) const {
    const char* separator = "";
    for (const SDPTimeZone& zone : zones) {
        out += separator;
        out += std::to_string(zone.adjustmentTime);
        out += ' ';
        out += std::to_string(zone.offset);
        separator = " ";
    }
}

}  // namespace kel_sip
