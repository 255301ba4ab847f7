// The value of one Contact element (RFC 3261 section 20.10): "*", or an address with its
// expires and q parameters.
#pragma once

#include <cstdint>

#include "kel_sip/syntax/SipAddressField.h"

namespace kel_sip {

class SipContact : public SipAddressField {
public:
    bool empty() const override { return SipAddressField::empty() && !wildcard && expires < 0 && q < 0; }
    void clear() override;
    // A value of exactly "*" is the wildcard and sets nothing else.
    void parse(const char* data, int length, bool clearFirst) override;
    // Takes "expires" (delta-seconds, 0..4294967295) and "q" (0..1, at most three decimals) when their value
    // is not empty; other values fail the parse.
    bool takeParameter(std::string_view name, std::string_view value) override;
    using SipAddressField::print;
    // "*" for the wildcard, else the address, ";expires=", ";q=" and the generic parameters.
    void print(std::string& out, bool escape) const override;

    bool wildcard = false;
    std::int64_t expires = -1;  // -1 = none
    float q = -1;      // -1 = none; "q=0" (least preferred) is a value and is printed

protected:
    void printFields(std::string& out) const override;
};

}  // namespace kel_sip
