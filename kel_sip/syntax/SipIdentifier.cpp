#include "kel_sip/syntax/SipIdentifier.h"

#include <cstdio>

#include "kel_util/Random.h"

namespace kel_sip {
namespace {

void appendHex(std::string& out) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(kel_util::randomUInt32()));
    out.append(digits, 8);
}

}  // namespace

std::string makeBranch() {
    std::string branch("z9hG4bK");
    appendHex(branch);
    return branch;
}

std::string makeTag() {
    std::string tag;
    appendHex(tag);
    return tag;
}

std::string makeCallId(std::string_view host) {
    std::string callId;
    callId.reserve(27 + host.size() + 1);
    appendHex(callId);
    callId += '-';
    appendHex(callId);
    callId += '-';
    appendHex(callId);
    if (!host.empty()) {
        callId += '@';
        callId.append(host);
    }
    return callId;
}

}  // namespace kel_sip
