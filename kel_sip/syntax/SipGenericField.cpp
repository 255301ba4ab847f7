#include "kel_sip/syntax/SipGenericField.h"

namespace kel_sip {

void SipGenericField::parse(const char* data, int length, bool clearFirst) {
    if (clearFirst) clear();
    try {
        SipTokenizer tokenizer(data, length);
        parseParameters(tokenizer);
    } catch (const SipParseException& e) {
        if (clearFirst) clear();
        throw SipParseException("invalid generic field", e);
    }
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
    if (!takeParameter(trimmedName, value)) setParameter(trimmedName, value);
}

}  // namespace kel_sip
