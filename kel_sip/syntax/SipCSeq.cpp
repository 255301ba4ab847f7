#include "kel_sip/syntax/SipCSeq.h"

#include <cstdint>

#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipNumber.h"
#include "kel_sip/syntax/SipFieldParse.h"
#include "kel_sip/syntax/SipTokenizer.h"

namespace kel_sip {

void SipCSeq::clear() {
    number_ = -1;
    methodKind_ = SipMethod::Other;
    methodName_.clear();
}

void SipCSeq::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid cseq", [&] {
        SipTokenizer tokenizer(data, length);
        // RFC 3261 section 8.1.1.5: the sequence number is below 2**31.
        const int parsed = parseInt(nextRequiredWord(tokenizer, "no cseq"), 0, INT32_MAX, "invalid cseq number");
        setMethod(SipTokenizer::trimLws(std::string_view(tokenizer.rest(), static_cast<size_t>(tokenizer.restLength()))));
        number_ = parsed;
    });
}

void SipCSeq::print(std::string& out) const {
    if (number_ < 0) return;
    out += std::to_string(number_);
    out += ' ';
    out += getMethodName();
}

std::string_view SipCSeq::getMethodName() const {
    const std::string_view known = SipMethod::nameOf(methodKind_);
    return known.empty() ? std::string_view(methodName_) : known;
}

void SipCSeq::setMethod(int methodKind) {
    methodKind_ = methodKind;
    methodName_.clear();
}

void SipCSeq::setMethod(std::string_view methodName) {
    methodKind_ = SipMethod::kindOf(methodName);
    if (methodKind_ == SipMethod::Other) {
        methodName_.assign(methodName);
    } else {
        methodName_.clear();
    }
}

}  // namespace kel_sip
