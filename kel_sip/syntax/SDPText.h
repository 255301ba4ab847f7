// Field-level helpers shared by the SDP line parsers (RFC 4566 section 5). Internal to the
// SDP classes; not part of their interface.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kel_util/Decimal.h"
#include "kel_util/StringTokenizer.h"

namespace kel_sip::sdp_text {

// The next field up to a single SP or HT, or null at the end of the text.
inline std::optional<std::string_view> nextField(kel_util::StringTokenizer& fields) {
    int length = 0;
    const char* field = fields.nextTokenAny(" \t", length);
    if (field == nullptr) return std::nullopt;
    return std::string_view(field, static_cast<std::size_t>(length));
}

// The rest of the text, or null when nothing is left.
inline std::optional<std::string_view> restOf(const kel_util::StringTokenizer& fields) {
    if (fields.atEnd()) return std::nullopt;
    return std::string_view(fields.rest(), static_cast<std::size_t>(fields.restLength()));
}

// A checked decimal within [min, max] stored into out; false leaves out unchanged.
template <typename T>
bool parseNumber(std::optional<std::string_view> text, std::int64_t min, std::int64_t max, T& out) {
    if (!text) return false;
    const auto value = kel_util::parseDecimal(*text, min, max);
    if (!value) return false;
    out = static_cast<T>(*value);
    return true;
}

// A decimal of up to 2**64-1 into out, as a session id or version may be: RFC 4566 section 5.2
// suggests an NTP timestamp, whose 64 bits go beyond the signed range. All but the last digit
// go through the checked conversion, the last digit is added with an overflow check.
inline bool parseUnsigned64(std::optional<std::string_view> text, std::uint64_t& out) {
    if (!text || text->empty()) return false;
    const char last = text->back();
    if (last < '0' || last > '9') return false;
    const auto digit = static_cast<std::uint64_t>(last - '0');
    std::uint64_t head = 0;
    if (text->size() > 1 && !parseNumber(text->substr(0, text->size() - 1), 0, INT64_MAX, head)) return false;
    if (head > (UINT64_MAX - digit) / 10) return false;
    out = head * 10 + digit;
    return true;
}

// Appends prefix ("i=", "a=", ...), text and CR LF.
inline void appendLine(std::string& out, const char* prefix, std::string_view text) {
    out += prefix;
    out += text;
    out += "\r\n";
}

// Appends prefix, the printed part and CR LF.
template <typename Part>
void appendPartLine(std::string& out, const char* prefix, const Part& part) {
    out += prefix;
    part.print(out);
    out += "\r\n";
}

inline kel_util::StringTokenizer tokenizerOf(std::string_view text) {
    return kel_util::StringTokenizer(text.data(), static_cast<int>(text.size()));
}

}  // namespace kel_sip::sdp_text
