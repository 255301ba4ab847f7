#include "kel_sip/syntax/SipAddressField.h"

#include "kel_sip/syntax/SipEscape.h"
#include "kel_sip/syntax/SipParseGuard.h"
#include "kel_sip/syntax/SipTokenizer.h"

namespace kel_sip {

void SipAddressField::clear() {
    SipGenericField::clear();
    address.clear();
}

void SipAddressField::parse(const char* data, int length, bool clearFirst) {
    guardedParse(*this, data, length, clearFirst, "invalid address field",
                 [this](std::string_view text) { parseText(SipTokenizer::trimLws(text)); });
}

void SipAddressField::parseText(std::string_view text) {
    if (text.empty()) throw SipParseException("no contact");
    SipTokenizer tokenizer(text);
    int len = 0;
    char hit = '\0';
    tokenizer.nextQuotedTokenAny("<", len, &hit);
    size_t addressLength = 0;
    if (hit == '<') {
        // name-addr: the address ends at the ">" closing the bracket; a ">" without a "<"
        // before it is no bracket and is left to the URI.
        bool closed = false;
        tokenizer.nextToken('>', len, &closed);
        if (!closed) throw SipParseException("invalid address format");
        addressLength = static_cast<size_t>(tokenizer.getPosition());
        tokenizer.skipLws();
        if (!tokenizer.atEnd() && *tokenizer.rest() != ';') throw SipParseException("invalid address format");
    } else {
        addressLength = bareAddressLength(text);
        tokenizer.init(text.data(), static_cast<int>(text.size()));
        tokenizer.advance(static_cast<int>(addressLength));
    }
    const std::string_view addressText = SipTokenizer::trimLws(text.substr(0, addressLength));
    address.parse(addressText.data(), static_cast<int>(addressText.size()), true);
    tokenizer.advance(1);  // the ";" before the parameters
    tokenizer.skipLws();
    parseParameters(tokenizer);
}

size_t SipAddressField::bareAddressLength(std::string_view text) {
    constexpr size_t npos = std::string_view::npos;
    SipTokenizer tokenizer(text);
    int len = 0;
    char hit = '\0';
    tokenizer.nextQuotedTokenAny("@;", len, &hit);
    const auto first = static_cast<size_t>(len);
    size_t at = npos;
    if (hit == '@') {
        at = first;
    } else if (hit == ';' && !SipTokenizer::lwsAround(text, first)) {
        at = SipTokenizer::userPartEnd(text, first);
        if (at == npos) return first;
    } else {
        return first;  // a ";" with LWS around it, or no separator at all
    }
    const size_t semicolon = text.find(';', at + 1);
    return semicolon == npos ? text.size() : semicolon;
}

void SipAddressField::print(std::string& out, bool escape) const {
    std::string parameters;
    printFields(parameters);
    printParameters(parameters);
    // Bare, a URI without user followed by a parameter holding "@" would read back with the
    // parameters as its user part.
    const bool forceBrackets = address.uri.userInfo.user.empty() && parameters.find('@') != std::string::npos;
    address.print(out, escape, forceBrackets);
    out += parameters;
}

void SipAddressField::unescape() {
    address.uri.unescape();
    for (Parameter& parameter : parameters_) {
        kel_sip::unescape(parameter.name);
        kel_sip::unescape(parameter.value);
    }
}

void SipAddressField::printFields(std::string&) const {}

}  // namespace kel_sip
