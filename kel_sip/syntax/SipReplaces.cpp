#include "kel_sip/syntax/SipReplaces.h"

#include "kel_sip/syntax/SipFieldParse.h"

namespace kel_sip {

bool SipReplaces::empty() const {
    return callId_.empty() && toTag_.empty() && fromTag_.empty() && !earlyOnly_ && SipGenericField::empty();
}

void SipReplaces::clear() {
    callId_.clear();
    toTag_.clear();
    fromTag_.clear();
    earlyOnly_ = false;
    SipGenericField::clear();
}

void SipReplaces::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid replaces", [&] {
        SipTokenizer tokenizer(data, length);
        callId_ = nextLeadingToken(tokenizer, "no callid");
        parseParameters(tokenizer);
    });
}

void SipReplaces::print(std::string& out) const {
    if (callId_.empty()) return;
    out += callId_;
    out += ";to-tag=";
    out += toTag_;
    out += ";from-tag=";
    out += fromTag_;
    if (earlyOnly_) out += ";early-only";
    printParameters(out);
}

bool SipReplaces::takeParameter(std::string_view name, std::string_view value) {
    if (kel_util::equalsIgnoreCase(name, "to-tag")) {
        toTag_.assign(value);
    } else if (kel_util::equalsIgnoreCase(name, "from-tag")) {
        fromTag_.assign(value);
    } else if (kel_util::equalsIgnoreCase(name, "early-only")) {
        earlyOnly_ = true;
    } else {
        return false;
    }
    return true;
}

}  // namespace kel_sip
