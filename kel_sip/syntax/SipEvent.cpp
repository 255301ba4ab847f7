#include "kel_sip/syntax/SipEvent.h"

#include "kel_sip/syntax/SipFieldParse.h"

namespace kel_sip {

void SipEvent::clear() {
    package_.clear();
    id_.clear();
    SipGenericField::clear();
}

void SipEvent::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid event", [&] {
        SipTokenizer tokenizer(data, length);
        package_ = nextLeadingToken(tokenizer, "no event type");
        parseParameters(tokenizer);
    });
}

void SipEvent::print(std::string& out) const {
    out += package_;
    if (!id_.empty()) {
        out += ";id=";
        out += id_;
    }
    printParameters(out);
}

bool SipEvent::takeParameter(std::string_view name, std::string_view value) {
    if (!kel_util::equalsIgnoreCase(name, "id")) return false;
    id_.assign(value);
    return true;
}

}  // namespace kel_sip
