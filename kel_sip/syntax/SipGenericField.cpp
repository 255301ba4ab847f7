#include "kel_sip/syntax/SipGenericField.h"

#include "kel_sip/syntax/SipParseGuard.h"
#include "kel_util/CharSet.h"

namespace kel_sip {

void SipGenericField::parse(const char* data, int length, bool clearFirst) {
    guardedParse(*this, data, length, clearFirst, "invalid generic field", [this](std::string_view text) {
        SipTokenizer tokenizer(text);
        parseParameters(tokenizer);
    });
}

void SipGenericField::print(std::string& out) const {
    const size_t start = out.size();
    printParameters(out);
    // printParameters puts ";" before every parameter; a bare list starts without one.
    if (out.size() > start) out.erase(start, 1);
}

bool SipGenericField::takeParameter(std::string_view, std::string_view) { return false; }

void SipGenericField::printParameters(std::string& out) const {
    for (const Parameter& parameter : parameters_) {
        out += ';';
        out += parameter.name;
        if (!parameter.value.empty()) {
            out += '=';
            out += parameter.value;
        }
    }
}

bool SipGenericField::containsParameters(const kel_util::HeaderField& other) const {
    for (const Parameter& wanted : other.getParameters()) {
        const Parameter* mine = findParameter(wanted.name);
        if (mine == nullptr || !kel_util::equalsIgnoreCase(mine->value, wanted.value)) return false;
    }
    return true;
}

void SipGenericField::parseParameters(SipTokenizer& tokenizer) {
    int len = 0;
    while (const char* parameter = tokenizer.nextQuotedTrimmedToken(';', len)) parseParameter(parameter, len);
}

namespace {

constexpr kel_util::CharSet kQuoteAndBrackets("\"<>");

// True when value holds no quote and no angle bracket, or is one quoted-string whose inner
// quotes are escaped.
bool quotesBalanced(std::string_view value) {
    const size_t quote = value.find('"');
    if (quote == std::string_view::npos) return !kQuoteAndBrackets.anyIn(value);
    if (quote != 0 || value.size() < 2 || value.back() != '"') return false;
    bool escaped = false;
    for (size_t i = 1; i + 1 < value.size(); ++i) {
        if (escaped) {
            escaped = false;
        } else if (value[i] == '\\') {
            escaped = true;
        } else if (value[i] == '"') {
            return false;
        }
    }
    return !escaped;
}

}  // namespace

void SipGenericField::parseParameter(const char* data, int length) {
    SipTokenizer tokenizer(data, length);
    int len = 0;
    bool hasValue = false;
    const char* name = tokenizer.nextTrimmedToken('=', len, &hasValue);
    if (name == nullptr) throw SipParseException("no param data");
    const std::string_view trimmedName = SipTokenizer::trimLws(std::string_view(name, static_cast<size_t>(len)));
    if (trimmedName.empty()) throw SipParseException("no param name");
    std::string_view value;
    if (hasValue) value = SipTokenizer::trimLws(std::string_view(tokenizer.rest(), static_cast<size_t>(tokenizer.restLength())));
    // A quote may only open and close a whole quoted-string value (RFC 3261 section 25.1): a
    // stray one would pair with another parameter's quote once the parameters are printed in
    // a different order, and the printed field would read differently. An unquoted "<" or ">"
    // (in the name or the value) would likewise pair with the brackets of the next address of
    // a printed list.
    if (kQuoteAndBrackets.anyIn(trimmedName) || !quotesBalanced(value)) {
        throw SipParseException("invalid param quote");
    }
    if (takeParameter(trimmedName, value)) return;
    if (parameters_.size() >= kMaxParameters && findParameter(trimmedName) == nullptr) {
        throw SipParseException("too many parameters");
    }
    setParameter(trimmedName, value);
}

}  // namespace kel_sip
