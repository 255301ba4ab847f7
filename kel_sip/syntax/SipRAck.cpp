#include "kel_sip/syntax/SipRAck.h"

#include <cstdint>

#include "kel_sip/syntax/SipNumber.h"
#include "kel_sip/syntax/SipFieldParse.h"
#include "kel_sip/syntax/SipTokenizer.h"

namespace kel_sip {

void SipRAck::clear() {
    responseNumber_ = -1;
    cseq_.clear();
}

void SipRAck::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid RAck", [&] {
        SipTokenizer tokenizer(data, length);
        // RFC 3262 section 7.1: RSeq numbers are 32-bit unsigned integers.
        const std::int64_t parsed = parseNumber(nextRequiredWord(tokenizer, "no RAck"), 0, UINT32_MAX, "invalid RAck number");
        cseq_.parse(tokenizer.rest(), tokenizer.restLength(), clearFirst);
        responseNumber_ = parsed;
    });
}

void SipRAck::print(std::string& out) const {
    if (responseNumber_ < 0) return;
    out += std::to_string(responseNumber_);
    out += ' ';
    cseq_.print(out);
}

}  // namespace kel_sip
