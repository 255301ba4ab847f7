#include "kel_sip/syntax/SipStrList.h"

#include <algorithm>

#include "kel_sip/syntax/SipFieldParse.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {

void SipStrList::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid string list", [&] {
        SipTokenizer tokenizer(data, length);
        int len = 0;
        while (const char* token = tokenizer.nextTrimmedToken(',', len)) {
            const std::string_view value = SipTokenizer::trimLws(std::string_view(token, static_cast<size_t>(len)));
            if (!value.empty()) add(value);
        }
    });
}

void SipStrList::print(std::string& out) const {
    for (size_t i = 0; i < values_.size(); ++i) {
        if (i > 0) out += ',';
        out += values_[i];
    }
}

bool SipStrList::contains(std::string_view value) const {
    return std::any_of(values_.begin(), values_.end(),
                       [value](const std::string& held) { return kel_util::equalsIgnoreCase(held, value); });
}

bool SipStrList::addUnique(std::string_view value) {
    if (contains(value)) return false;
    add(value);
    return true;
}

}  // namespace kel_sip
