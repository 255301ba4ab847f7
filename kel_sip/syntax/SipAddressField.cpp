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
    SipTokenizer tokenizer(text);
    int len = 0;
    char hit = '\0';
    if (tokenizer.nextQuotedTokenAny(">", len, &hit) == nullptr) throw SipParseException("no contact");
    size_t addressLength = 0;
    if (hit == '>') {
        // The ">" must close the "<" of a name-addr: in a bare addr-spec it would be printed
        // inside the brackets that print adds and end them early.
        SipTokenizer opening(text.substr(0, static_cast<size_t>(len)));
        int openLength = 0;
        char open = '\0';
        opening.nextQuotedTokenAny("<", openLength, &open);
        if (open != '<') throw SipParseException("invalid address format");
        addressLength = static_cast<size_t>(len) + 1;
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
    address.print(out, escape);
    printFields(out);
    printParameters(out);
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
