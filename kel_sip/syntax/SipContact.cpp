#include "kel_sip/syntax/SipContact.h"

#include <cstdint>
#include <cmath>

#include "kel_sip/syntax/SipNumber.h"
#include "kel_sip/syntax/SipParseGuard.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {

void SipContact::clear() {
    SipAddressField::clear();
    wildcard = false;
    expires = -1;
    q = -1;
}

void SipContact::parse(const char* data, int length, bool clearFirst) {
    if (SipTokenizer::trimLws(parseInput(data, length)) != "*") {
        SipAddressField::parse(data, length, clearFirst);
        return;
    }
    if (clearFirst) clear();
    wildcard = true;
}

bool SipContact::takeParameter(std::string_view name, std::string_view value) {
    if (kel_util::equalsIgnoreCase(name, "expires")) {
        // RFC 3261 section 20.19: delta-seconds run up to 2**32-1.
        if (!value.empty()) expires = parseNumber(value, 0, UINT32_MAX, "invalid expires");
        return true;
    }
    if (kel_util::equalsIgnoreCase(name, "q")) {
        if (!value.empty()) q = static_cast<float>(parseQValue(value)) / 1000.0f;
        return true;
    }
    return false;
}

void SipContact::print(std::string& out, bool escape) const {
    if (wildcard) {
        out += '*';
        return;
    }
    SipAddressField::print(out, escape);
}

void SipContact::printFields(std::string& out) const {
    if (expires != -1) {
        out += ";expires=";
        out += std::to_string(expires);
    }
    if (q >= 0) {
        out += ";q=";
        const long thousandths = std::lround(q * 1000.0f);
        printQValue(out, static_cast<int>(thousandths < 0 ? 0 : thousandths > 1000 ? 1000 : thousandths));
    }
}

}  // namespace kel_sip
