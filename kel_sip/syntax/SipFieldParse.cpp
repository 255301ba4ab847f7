#include "kel_sip/syntax/SipFieldParse.h"

namespace kel_sip {

bool isSipToken(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        const bool alphanumeric = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alphanumeric && std::string_view("-.!%*_+`'~").find(c) == std::string_view::npos) return false;
    }
    return true;
}

std::string_view nextRequiredToken(SipTokenizer& tokenizer, char delimiter, const char* missing) {
    int len = 0;
    bool found = false;
    const char* token = tokenizer.nextTrimmedToken(delimiter, len, &found);
    if (token == nullptr || !found) throw SipParseException(missing);
    return SipTokenizer::trimLws(std::string_view(token, static_cast<size_t>(len)));
}

std::string_view nextRequiredWord(SipTokenizer& tokenizer, const char* missing) {
    int len = 0;
    bool found = false;
    const char* word = tokenizer.nextWord(len, &found);
    if (word == nullptr || !found) throw SipParseException(missing);
    return {word, static_cast<size_t>(len)};
}

std::string_view nextLeadingToken(SipTokenizer& tokenizer, const char* missing) {
    int len = 0;
    const char* token = tokenizer.nextTrimmedToken(';', len);
    const std::string_view text =
        token == nullptr ? std::string_view() : SipTokenizer::trimLws(std::string_view(token, static_cast<size_t>(len)));
    if (text.empty()) throw SipParseException(missing);
    return text;
}

}  // namespace kel_sip
