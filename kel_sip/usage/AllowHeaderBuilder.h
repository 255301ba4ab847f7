// The Allow header of an INVITE, an UPDATE and of the provisional and 2xx responses to them
// (RFC 3261 section 20.5): built from the methods this side runs, or an explicit text.
#pragma once

#include <string>

#include "kel_sip/syntax/HeaderListBase.h"

namespace kel_sip {

struct AllowSettings {
    bool setAllow = false;     // build the list; otherwise explicitText goes out as it stands
    bool allowUpdate = false;  // UPDATE in the list (RFC 3311)
    bool allowInfo = false;    // INFO in the list (RFC 6086)
    std::string explicitText;  // without setAllow: the Allow value when not empty
};

class AllowHeaderBuilder {
public:
    explicit AllowHeaderBuilder(const AllowSettings& settings) : settings_(settings) {}

    // With setAllow: INVITE, ACK, BYE, CANCEL, then PRACK when 100rel is in use for this
    // transaction, UPDATE and INFO by option, merged into any Allow the message holds.
    // Without it: the explicit text, when there is one.
    void add(bool prackInUse, HeaderListBase& message) const;

private:
    AllowSettings settings_;
};

}  // namespace kel_sip
