// The checks a received message must pass before the stack acts on it (RFC 3261 sections
// 8.1.1, 8.2.2 and 8.2.6); a request that fails is answered with the status chosen here.
#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {
namespace {

bool knownKind(int kind) { return kind >= 0 && kind < SipMethod::Count; }

bool failWith(std::string& reason, int& status, const char* text, int code) {
    reason = text;
    status = code;
    return false;
}

}  // namespace

bool SipMessage::validate(std::string& reason, int& status) const {
    status = 400;
    if (cseq.getNumber() < 0 || (!knownKind(cseq.getMethodKind()) && cseq.getMethodName().empty())) {
        return failWith(reason, status, "invalid CSeq", 400);
    }
    if (isRequest) {
        if (!knownKind(methodKind)) {
            if (methodName.empty()) return failWith(reason, status, "Method empty", 400);
            if (!kel_util::equalsIgnoreCase(methodName, cseq.getMethodName())) {
                return failWith(reason, status, "Method not matching in CSeq", 400);
            }
        } else if (methodKind != cseq.getMethodKind()) {
            return failWith(reason, status, "Method not matching in CSeq", 400);
        }
        if (!kel_util::equalsIgnoreCase(sipVersion, "SIP/2.0")) return failWith(reason, status, "invalid SIP Version", 505);
        if (!requestUri.isUsable()) return failWith(reason, status, "invalid RequestURI", 416);
    } else {
        if (statusCode < 100 || statusCode > 699) return failWith(reason, status, "invalid StatusCode", 400);
        if (reasonPhrase.empty()) return failWith(reason, status, "ReasonPhrase empty", 400);
    }
    if (callId.empty()) return failWith(reason, status, "CallID empty", 400);
    if (!from.address.uri.isUsable()) return failWith(reason, status, "invalid From", 400);
    if (!to.address.uri.isUsable()) return failWith(reason, status, "invalid To", 400);
    if (vias.empty()) return failWith(reason, status, "Via empty", 400);
    const SipVia& top = vias.front();
    if (top.getProtocol().empty() || top.getVersion().empty() || top.getTransport().empty() || top.getSentBy().host.empty()) {
        return failWith(reason, status, "invalid first Via", 400);
    }
    return true;
}

}  // namespace kel_sip
