#include "kel_sip/syntax/SipReferredBy.h"

#include "kel_util/HeaderField.h"

namespace kel_sip {

void SipReferredBy::clear() {
    SipAddressField::clear();
    cid.clear();
}

bool SipReferredBy::takeParameter(std::string_view name, std::string_view value) {
    if (!kel_util::equalsIgnoreCase(name, "cid")) return false;
    cid.assign(value);
    return true;
}

void SipReferredBy::printFields(std::string& out) const {
    if (cid.empty()) return;
    out += ";cid=";
    out += cid;
}

}  // namespace kel_sip
