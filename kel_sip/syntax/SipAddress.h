// name-addr / addr-spec (RFC 3261 section 20.10, 25.1): an optional display name and a URI,
// printed in angle brackets or bare.
#pragma once

#include <string>
#include <string_view>

#include "kel_sip/syntax/SipParam.h"
#include "kel_sip/syntax/SipURI.h"

namespace kel_sip {

class SipAddress : public SipParam {
public:
    bool empty() const override { return displayName.empty() && uri.empty(); }
    // Empties the name and the URI and sets the bracket flag again.
    void clear() override;
    // "name <uri>" or a bare URI (the bracket flag is then false); quotes protect "<" in the
    // name. Failures are wrapped in "invalid address".
    void parse(const char* data, int length, bool clearFirst) override;
    void print(std::string& out) const override { print(out, false); }
    // The URI is printed with escaping of its user info, parameters and headers when asked.
    // A URI with parameters or headers, or with "," ";" or "?" in its user, is always
    // bracketed (RFC 3261 section 20.10): bare, they would read back as header parameters or
    // list separators.
    void print(std::string& out, bool escape) const { print(out, escape, false); }
    // As above; forceBrackets brackets a URI that would otherwise print bare.
    void print(std::string& out, bool escape, bool forceBrackets) const;

    std::string displayName;  // as written, quotes included
    SipURI uri;
    bool brackets = true;

private:
    void parseText(std::string_view text);
};

}  // namespace kel_sip
