// SipMessage::getSdp: the body of an "application/sdp" message as a session description.
#include "kel_sip/syntax/SDP.h"
#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {
namespace {

// The media type of a Content-Type value is what precedes any ";" parameter (RFC 3261
// section 20.15), so "application/sdp;charset=utf-8" is still SDP.
bool isSdpType(std::string_view contentType) {
    const std::string_view mediaType = contentType.substr(0, contentType.find(';'));
    return kel_util::equalsIgnoreCase(SipTokenizer::trimLws(mediaType), "application/sdp");
}

}  // namespace

bool SipMessage::getSdp(SDP& session, bool& bad) const {
    if (!isSdpType(contentType)) return false;
    if (!body.empty() && session.parse(body.getData(), body.getLength())) return true;
    session.clear();
    bad = true;
    return false;
}

}  // namespace kel_sip
