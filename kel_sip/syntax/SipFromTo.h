// The value of a From or To header: an address and its tag (RFC 3261 sections 20.20, 20.39).
#pragma once

#include <string>

#include "kel_sip/syntax/SipAddressField.h"

namespace kel_sip {

class SipFromTo : public SipAddressField {
public:
    bool empty() const override { return SipAddressField::empty() && tag.empty(); }
    void clear() override;
    // Takes "tag".
    bool takeParameter(std::string_view name, std::string_view value) override;

    std::string tag;

protected:
    void printFields(std::string& out) const override;
};

}  // namespace kel_sip
