// The value of an address header (From, To, Contact, Route, Refer-To, ...): an address followed
// by header parameters (RFC 3261 section 20). Subclasses keep some parameters in fields through
// takeParameter and print them through printFields.
#pragma once

#include <string>
#include <string_view>

#include "kel_sip/syntax/SipAddress.h"
#include "kel_sip/syntax/SipGenericField.h"

namespace kel_sip {

class SipAddressField : public SipGenericField {
public:
    bool empty() const override { return address.empty() && parameters_.empty(); }
    void clear() override;
    // The address ends at the ">" after a "<" (quotes protect both) or, unbracketed, at the
    // first ";" that is not inside a user part: "sip:a;b@h;tag=1" has the user "a;b" and the parameter tag. Failures
    // are wrapped in "invalid address field".
    void parse(const char* data, int length, bool clearFirst) override;
    void print(std::string& out) const override { print(out, false); }
    // The URI is escaped when asked; header parameters are never escaped.
    virtual void print(std::string& out, bool escape) const;
    // Decodes the escapes of the URI and of the generic parameters' names and values.
    void unescape();

    SipAddress address;

protected:
    // Appends the parameters a subclass keeps in fields, each with its leading ";".
    virtual void printFields(std::string& out) const;

private:
    void parseText(std::string_view text);
    // Length of the address at the start of an unbracketed text.
    static size_t bareAddressLength(std::string_view text);
};

}  // namespace kel_sip
