#include "kel_sip/syntax/SipFieldParse.h"

namespace kel_sip {

std::string_view nextLeadingToken(SipTokenizer& tokenizer, const char* missing) {
    int len = 0;
    const char* token = tokenizer.nextTrimmedToken(';', len);
    const std::string_view text =
        token == nullptr ? std::string_view() : SipTokenizer::trimLws(std::string_view(token, static_cast<size_t>(len)));
    if (text.empty()) throw SipParseException(missing);
    return text;
}

}  // namespace kel_sip
