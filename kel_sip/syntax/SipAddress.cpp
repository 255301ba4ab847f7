#include "kel_sip/syntax/SipAddress.h"

#include "kel_sip/syntax/SipParseGuard.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_util/CharSet.h"

namespace kel_sip {

void SipAddress::clear() {
    displayName.clear();
    uri.clear();
    brackets = true;
}

void SipAddress::parse(const char* data, int length, bool clearFirst) {
    guardedParse(*this, data, length, clearFirst, "invalid address", [this](std::string_view text) { parseText(text); });
}

void SipAddress::parseText(std::string_view text) {
    SipTokenizer tokenizer(text);
    int len = 0;
    bool found = false;
    const char* name = tokenizer.nextQuotedTrimmedToken('<', len, &found);
    if (name == nullptr) throw SipParseException("no address");
    if (!found) {
        // A ">" in a bare addr-spec would land inside the brackets print adds when the URI has
        // parameters, and end them early.
        if (text.find('>') != std::string_view::npos) throw SipParseException("invalid address format");
        uri.parse(text.data(), static_cast<int>(text.size()), true);
        brackets = false;
        return;
    }
    const std::string_view display = SipTokenizer::trimLws(std::string_view(name, static_cast<size_t>(len)));
    // A line break left in the display name would be printed as a header line break.
    constexpr kel_util::CharSet kLineBreak("\r\n");
    if (kLineBreak.anyIn(display)) throw SipParseException("invalid display name");
    bool closed = false;
    const char* uriText = tokenizer.nextToken('>', len, &closed);
    if (!closed) throw SipParseException("invalid address format");
    uri.parse(uriText, len, true);
    displayName.assign(display);
    brackets = true;
}

void SipAddress::print(std::string& out, bool escape, bool forceBrackets) const {
    constexpr kel_util::CharSet kUserDelimiters(",;?");
    const bool needsBrackets = brackets || forceBrackets || !displayName.empty() || uri.hasParametersOrHeaders() ||
                               kUserDelimiters.anyIn(uri.userInfo.user);
    if (!displayName.empty()) {
        out += displayName;
        out += ' ';
    }
    if (needsBrackets) out += '<';
    uri.print(out, escape, escape, escape);
    if (needsBrackets) out += '>';
}

}  // namespace kel_sip
