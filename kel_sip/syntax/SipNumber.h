// Checked conversions for the numbers of SIP header values. Every number read from the network
// goes through kel_util::parseDecimal: digits only, no overflow, within the field's range.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kel_sip {

// The decimal value of text (LWS around it ignored) within [min, max]; anything else throws
// SipParseException(message).
std::int64_t parseNumber(std::string_view text, std::int64_t min, std::int64_t max, const char* message);
// parseNumber for int fields; max must fit an int.
int parseInt(std::string_view text, int min, int max, const char* message);

// A q-value (RFC 3261 section 25.1: qvalue = "0" ["." 0*3DIGIT] / "1" ["." 0*3"0"]) in
// thousandths, 0..1000; anything else throws SipParseException("invalid q value").
int parseQValue(std::string_view text);
// Appends thousandths (0..1000) as a q-value without trailing zeros: 500 -> "0.5", 1000 -> "1".
void printQValue(std::string& out, int thousandths);

}  // namespace kel_sip
