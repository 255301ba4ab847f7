// The identity of a dialog (RFC 3261 section 12): Call-ID, local tag and remote tag. The
// remote tag stays empty until the peer's tag is known (a request sent, no response yet).
#pragma once

#include <string>

namespace kel_sip {

struct SipDialogID {
    std::string callId;
    std::string localTag;
    std::string remoteTag;
};

}  // namespace kel_sip
