// Helpers for the header value tests. Text is handed to parse in a buffer of exactly its size
// (no terminating NUL), so the sanitizers catch any read past the given length.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "kel_sip/syntax/SipParam.h"

namespace header_test {

inline void parseInto(kel_sip::SipParam& value, std::string_view text, bool clearFirst = true) {
    const std::vector<char> bytes(text.begin(), text.end());
    value.parse(bytes.data(), static_cast<int>(bytes.size()), clearFirst);
}

template <class T>
T parsed(std::string_view text) {
    T value;
    parseInto(value, text);
    return value;
}

// The text form of the parse error, "parsed" when there is none. The value starts filled
// (from filler) and must be cleared by the failed parse.
template <class T>
std::string failure(std::string_view text, std::string_view filler) {
    T value;
    parseInto(value, filler);
    try {
        parseInto(value, text);
    } catch (const kel_sip::SipParseException& e) {
        EXPECT_TRUE(value.empty()) << "a failed parse with clearFirst leaves the value cleared: " << text;
        return e.toString();
    }
    return "parsed";
}

// Parse, then print.
template <class T>
std::string reprinted(std::string_view text) {
    return parsed<T>(text).toString();
}

}  // namespace header_test
