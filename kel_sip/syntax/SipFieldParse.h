// Parse steps shared by the header value classes.
#pragma once

#include <string_view>
#include <utility>

#include "kel_sip/syntax/SipParam.h"
#include "kel_sip/syntax/SipTokenizer.h"

namespace kel_sip {

// Runs parseBody() for value: with clearFirst the value is cleared before and again when
// parsing fails; a SipParseException is rethrown as SipParseException(wrapper) with the
// original as its cause, so the text reads from the header down to the failing part.
template <class ParseBody>
void parseWrapped(SipParam& value, bool clearFirst, const char* wrapper, ParseBody&& parseBody) {
    if (clearFirst) value.clear();
    try {
        std::forward<ParseBody>(parseBody)();
    } catch (const SipParseException& e) {
        if (clearFirst) value.clear();
        throw SipParseException(wrapper, e);
    }
}

// RFC 3261 section 25.1 token: alphanumerics and - . ! % * _ + ` ' ~, at least one.
bool isSipToken(std::string_view text);

// The text up to delimiter without LWS around it, the position moved past the LWS that follows
// the delimiter; throws SipParseException(missing) when the delimiter does not come.
std::string_view nextRequiredToken(SipTokenizer& tokenizer, char delimiter, const char* missing);
// The text up to the next LWS, the position moved past that LWS; throws
// SipParseException(missing) when no LWS follows.
std::string_view nextRequiredWord(SipTokenizer& tokenizer, const char* missing);
// The text before the first ";" (the part of a value ahead of its parameters) without LWS
// around it; throws SipParseException(missing) when it is empty.
std::string_view nextLeadingToken(SipTokenizer& tokenizer, const char* missing);

}  // namespace kel_sip
