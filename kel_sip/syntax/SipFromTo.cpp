#include "kel_sip/syntax/SipFromTo.h"

#include "kel_util/HeaderField.h"

namespace kel_sip {

void SipFromTo::clear() {
    SipAddressField::clear();
    tag.clear();
}

bool SipFromTo::takeParameter(std::string_view name, std::string_view value) {
    if (!kel_util::equalsIgnoreCase(name, "tag")) return false;
    tag.assign(value);
    return true;
}

void SipFromTo::printFields(std::string& out) const {
    if (tag.empty()) return;
    out += ";tag=";
    out += tag;
}

}  // namespace kel_sip
