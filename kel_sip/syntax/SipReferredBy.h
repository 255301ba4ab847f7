// The value of a Referred-By header: an address and its cid (RFC 3892 section 3).
#pragma once

#include <string>

#include "kel_sip/syntax/SipAddressField.h"

namespace kel_sip {

class SipReferredBy : public SipAddressField {
public:
    bool empty() const override { return SipAddressField::empty() && cid.empty(); }
    void clear() override;
    // Takes "cid".
    bool takeParameter(std::string_view name, std::string_view value) override;

    std::string cid;

protected:
    void printFields(std::string& out) const override;
};

}  // namespace kel_sip
