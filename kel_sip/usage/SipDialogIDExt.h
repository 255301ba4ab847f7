// A dialog's identity with the local user it serves: the user part of the Request-URI of the
// request that created it on this side, or of the local contact address when this side
// started it.
#pragma once

#include <string>

#include "kel_sip/usage/SipDialogID.h"

namespace kel_sip {

struct SipDialogIDExt : SipDialogID {
    std::string localUser;

    // "Call-ID:local tag:remote tag:local user", for log lines.
    std::string toString() const { return callId + ':' + localTag + ':' + remoteTag + ':' + localUser; }
};

}  // namespace kel_sip
