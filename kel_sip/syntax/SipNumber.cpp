#include "kel_sip/syntax/SipNumber.h"

#include "kel_sip/syntax/SipParseException.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_util/Decimal.h"

namespace kel_sip {

std::int64_t parseNumber(std::string_view text, std::int64_t min, std::int64_t max, const char* message) {
    const auto value = kel_util::parseDecimal(SipTokenizer::trimLws(text), min, max);
    if (!value) throw SipParseException(message);
    return *value;
}

int parseInt(std::string_view text, int min, int max, const char* message) {
    return static_cast<int>(parseNumber(text, min, max, message));
}

int parseQValue(std::string_view text) {
    constexpr const char* kMessage = "invalid q value";
    const std::string_view q = SipTokenizer::trimLws(text);
    const size_t dot = q.find('.');
    if (q.substr(0, dot).size() != 1) throw SipParseException(kMessage);
    const int whole = parseInt(q.substr(0, dot), 0, 1, kMessage);
    if (dot == std::string_view::npos) return whole * 1000;
    const std::string_view fraction = q.substr(dot + 1);
    if (fraction.size() > 3) throw SipParseException(kMessage);
    int thousandths = 0;
    if (!fraction.empty()) {
        thousandths = parseInt(fraction, 0, 999, kMessage);
        for (size_t i = fraction.size(); i < 3; ++i) thousandths *= 10;
    }
    if (whole == 1 && thousandths != 0) throw SipParseException(kMessage);
    return whole * 1000 + thousandths;
}

void printQValue(std::string& out, int thousandths) {
    out += std::to_string(thousandths / 1000);
    int fraction = thousandths % 1000;
    if (fraction == 0) return;
    int digits = 3;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --digits;
    }
    std::string text = std::to_string(fraction);
    out += '.';
    out.append(static_cast<size_t>(digits) - text.size(), '0');
    out += text;
}

}  // namespace kel_sip
