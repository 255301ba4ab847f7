#include "kel_sip/syntax/SipAddress.h"

#include "kel_sip/syntax/SipTokenizer.h"

namespace kel_sip {

void SipAddress::clear() {
    displayName.clear();
    uri.clear();
    brackets = true;
}

void SipAddress::parse(const char* data, int length, bool clearFirst) {
    if (clearFirst) clear();
    try {
        SipTokenizer tokenizer(data, length);
        int len = 0;
        bool found = false;
        const char* name = tokenizer.nextQuotedTrimmedToken('<', len, &found);
        if (name == nullptr) throw SipParseException("no address");
        if (!found) {
            uri.parse(data, length, true);
            brackets = false;
            return;
        }
        const std::string_view display = SipTokenizer::trimLws(std::string_view(name, static_cast<size_t>(len)));
        bool closed = false;
        const char* uriText = tokenizer.nextToken('>', len, &closed);
        if (!closed) throw SipParseException("invalid address format");
        uri.parse(uriText, len, true);
        displayName.assign(display);
        brackets = true;
    } catch (const SipParseException& e) {
        if (clearFirst) clear();
        throw SipParseException("invalid address", e);
    }
}

void SipAddress::print(std::string& out, bool escape) const {
    const bool needsBrackets = brackets || !displayName.empty() || uri.hasParametersOrHeaders();
    if (!displayName.empty()) {
        out += displayName;
        out += ' ';
    }
    if (needsBrackets) out += '<';
    uri.print(out, escape, escape, escape);
    if (needsBrackets) out += '>';
}

}  // namespace kel_sip
