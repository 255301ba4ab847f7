#include "kel_sip/syntax/SipPeerAddress.h"

namespace kel_sip {

std::string SipPeerAddress::toString() const {
    std::string out;
    const bool bracket = host.find(':') != std::string::npos;
    if (bracket) out += '[';
    out += host;
    if (bracket) out += ']';
    out += ':';
    out += std::to_string(port);
    return out;
}

}  // namespace kel_sip
