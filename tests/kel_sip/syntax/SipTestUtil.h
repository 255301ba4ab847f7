// Helpers shared by the syntax tests: parse a text into a value, or get the failure's text.
#pragma once

#include <string>

#include "kel_sip/syntax/SipParam.h"

namespace kel_sip::test {

template <typename T>
T parsed(const std::string& text) {
    T value;
    value.parse(text.data(), static_cast<int>(text.size()), true);
    return value;
}

// The text form of the parse error, or "parsed"; a failed parse with clearFirst must leave the
// value empty, which is checked on a value that held something before.
template <typename T>
std::string parseFailure(const std::string& text, T value = T()) {
    try {
        value.parse(text.data(), static_cast<int>(text.size()), true);
    } catch (const SipParseException& e) {
        if (!value.empty()) return "not cleared: " + e.toString();
        return e.toString();
    }
    return "parsed";
}

}  // namespace kel_sip::test
