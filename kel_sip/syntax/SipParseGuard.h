// The common frame of every SipParam::parse: the clearFirst contract and the wrapping of a
// part's error in the class's own message, so the text reads outside in.
#pragma once

#include <string_view>

#include "kel_sip/syntax/SipParam.h"

namespace kel_sip {

// The bytes of a parse call as a view; a null pointer or a length below 1 is the empty text.
inline std::string_view parseInput(const char* data, int length) {
    return data != nullptr && length > 0 ? std::string_view(data, static_cast<size_t>(length)) : std::string_view();
}

// Runs body(text). With clearFirst the value is cleared before and again when body throws;
// a SipParseException from body is rethrown as SipParseException(message, cause).
template <typename Body>
void guardedParse(SipParam& value, const char* data, int length, bool clearFirst, const char* message, Body&& body) {
    if (clearFirst) value.clear();
    try {
        body(parseInput(data, length));
    } catch (const SipParseException& e) {
        if (clearFirst) value.clear();
        throw SipParseException(message, e);
    }
}

}  // namespace kel_sip
