#include "kel_sip/syntax/SipEscape.h"

#include <cstring>

namespace kel_sip {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool isAlphanumeric(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool isOneOf(unsigned char c, const char* set) { return c != 0 && std::strchr(set, c) != nullptr; }

// Hexadecimal digits of either case (RFC 3986 section 2.1): "%3b" is the same escape as "%3B",
// so it is neither escaped again nor left undecoded.
int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool isEscapeAt(const std::string& text, size_t i) {
    return text[i] == '%' && i + 2 < text.size() && hexValue(static_cast<unsigned char>(text[i + 1])) >= 0 &&
           hexValue(static_cast<unsigned char>(text[i + 2])) >= 0;
}

constexpr const char* kMark = "-_.!~*'()";

}  // namespace

bool inEscapeSet(unsigned char c, SipEscapeSet set) {
    if (isAlphanumeric(c)) return true;
    switch (set) {
        case SipEscapeSet::User:
            return isOneOf(c, kMark) || isOneOf(c, "&=+$,;?/");
        case SipEscapeSet::Password:
            return isOneOf(c, kMark);
        case SipEscapeSet::Parameter:
            return isOneOf(c, kMark) || isOneOf(c, "[]/:&+$");
        case SipEscapeSet::Header:
            return isOneOf(c, kMark) || isOneOf(c, "[]/?:+$");
        case SipEscapeSet::Token:
            return isOneOf(c, "-.!%*_+`'~");
    }
    return false;
}

void escape(std::string& text, SipEscapeSet set) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (isEscapeAt(text, i)) {
            out.append(text, i, 3);
            i += 2;
            continue;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (inEscapeSet(c, set)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0x0f];
        }
    }
    text.swap(out);
}

void unescape(std::string& text) {
    size_t to = 0;
    for (size_t from = 0; from < text.size(); ++from, ++to) {
        if (isEscapeAt(text, from)) {
            text[to] = static_cast<char>(hexValue(static_cast<unsigned char>(text[from + 1])) * 16 +
                                         hexValue(static_cast<unsigned char>(text[from + 2])));
            from += 2;
        } else {
            text[to] = text[from];
        }
    }
    text.resize(to);
}

std::string unescaped(std::string_view text) {
    std::string copy(text);
    unescape(copy);
    return copy;
}

}  // namespace kel_sip
