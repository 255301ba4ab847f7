#include "kel_sip/syntax/SipIntField.h"

#include <cstdint>

#include "kel_sip/syntax/SipNumber.h"
#include "kel_sip/syntax/SipFieldParse.h"

namespace kel_sip {

void SipIntField::clear() {
    value_ = -1;
    SipGenericField::clear();
}

void SipIntField::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid int field", [&] { parseValue(data, length); });
}

void SipIntField::print(std::string& out) const {
    printValue(out);
    printParameters(out);
}

void SipIntField::parseValue(const char* data, int length) {
    SipTokenizer tokenizer(data, length);
    value_ = parseNumber(nextLeadingToken(tokenizer, "no value"), 0, UINT32_MAX, "invalid value");
    parseParameters(tokenizer);
}

void SipIntField::printValue(std::string& out) const {
    if (value_ >= 0) out += std::to_string(value_);
}

}  // namespace kel_sip
