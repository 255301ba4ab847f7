// Percent-escaping of URI components (RFC 3261 section 25.1, RFC 3986 section 2.1).
#pragma once

#include <string>
#include <string_view>

namespace kel_sip {

// The bytes a URI component may carry unescaped.
enum class SipEscapeSet {
    User,       // alphanumeric, mark, user-unreserved: & = + $ , ; ? /
    Password,   // alphanumeric, mark
    Parameter,  // alphanumeric, mark, param-unreserved: [ ] / : & + $
    Header,     // alphanumeric, mark, hnv-unreserved: [ ] / ? : + $
    Token,      // alphanumeric and - . ! % * _ + ` ' ~
};

bool inEscapeSet(unsigned char c, SipEscapeSet set);

// Rewrites text in place: a "%" followed by two hexadecimal digits (either case) is an escape
// already and stays; a byte of the set stays; any other byte (above 127 and NUL included)
// becomes "%" and two upper-case hexadecimal digits.
void escape(std::string& text, SipEscapeSet set);

// Rewrites text in place: each "%" followed by two hexadecimal digits (either case) becomes the
// byte it encodes (NUL included); any other "%" is left as it is.
void unescape(std::string& text);

// The text with its escapes decoded, for comparison: a byte and its escape are the same
// (RFC 3261 section 19.1.4), so "%61lice" names "alice".
std::string unescaped(std::string_view text);

}  // namespace kel_sip
