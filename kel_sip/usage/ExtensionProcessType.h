// How a session uses an extension (100rel, RFC 3262; the session timer, RFC 4028): 0 not at
// all, 1 offer it (in Supported), 2 require it (in Require and Supported).
#pragma once

#include <string_view>

#include "kel_sip/syntax/HeaderListBase.h"
#include "kel_sip/syntax/SipHeader.h"

namespace kel_sip {

// Types outside 0..2 mean the extension is not used, as the controller stores them.
inline int knownProcessType(int type) noexcept { return type >= 0 && type <= 2 ? type : 0; }

// The use a message names of the extension tag: 2 in Require, 1 in Supported, else 0.
inline int extensionUse(const HeaderListBase& message, std::string_view tag) {
    if (message.hasOptionTag(SipHeader::Require, tag)) return 2;
    return message.hasOptionTag(SipHeader::Supported, tag) ? 1 : 0;
}

}  // namespace kel_sip
