#include "kel_sip/usage/SipDialogInfo.h"

#include <algorithm>
#include <climits>
#include <optional>

#include "kel_sip/syntax/SipContactList.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipSwitches.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::logPrint;
using kel_util::MIN;

namespace {

// The peer's remote target from Contact: false when a Contact value does not parse; target
// stays empty when there is no Contact or the first is not a SIP URI (a tel: or "*" one).
bool readRemoteTarget(const SipMessage& message, std::optional<SipURI>& target) {
    target.reset();
    if (!message.hasHeader(SipHeader::Contact)) return true;
    std::vector<SipContact> contacts;
    SipContactOptions options;
    options.unescape = sipSwitch(SipSwitch::UnEscapeContact);
    if (!message.getContacts(contacts, options)) {
        logPrint(MIN, "SipDialogInfo::readRemoteTarget. Invalid Contact, Method=[%.*s], StatusCode=%d, Call-ID=[%s].\n",
                 static_cast<int>(message.getMethodName().size()), message.getMethodName().data(), message.statusCode,
                 message.callId.c_str());
        return false;
    }
    if (!contacts.empty() && !contacts.front().wildcard && contacts.front().address.uri.isSipUri()) {
        target = contacts.front().address.uri;
    }
    return true;
}

// Every Record-Route value must name a SIP URI with a host: a route set with anything else
// would send the dialog's requests nowhere (RFC 3261 section 16.6 step 4 records SIP URIs only).
bool checkRecordRoutes(const SipMessage& message) {
    for (const SipRoute& route : message.recordRoutes) {
        if (route.address.uri.isSipUri() && route.address.uri.isUsable()) continue;
        std::string text;
        route.print(text);
        logPrint(MIN,
                 "SipDialogInfo::checkRecordRoutes. Invalid Record-Route=[%s], Method=[%.*s], StatusCode=%d, "
                 "Call-ID=[%s].\n",
                 text.c_str(), static_cast<int>(message.getMethodName().size()), message.getMethodName().data(),
                 message.statusCode, message.callId.c_str());
        return false;
    }
    return true;
}

SipFromTo withoutTag(const SipFromTo& value) {
    SipFromTo party = value;
    party.tag.clear();
    return party;
}

}  // namespace

int SipDialogInfo::nextLocalSeqNo() {
    if (localSeqNo == INT_MAX) {
        logPrint(MIN, "SipDialogInfo::nextLocalSeqNo. Local sequence number exhausted.\n");
        return -1;
    }
    localSeqNo = localSeqNo + 1 < 0 ? 0 : localSeqNo + 1;
    return localSeqNo;
}

bool SipDialogInfo::takeRequest(const SipMessage& request) {
    std::optional<SipURI> target;
    if (!readRemoteTarget(request, target) || !checkRecordRoutes(request)) return false;
    remoteSeqNo = request.cseq.getNumber();
    localParty = withoutTag(request.to);
    remoteParty = withoutTag(request.from);
    if (target) remoteTarget = std::move(*target);
    routeSet = request.recordRoutes;
    return true;
}

bool SipDialogInfo::takeTargetAndRoutes(const SipMessage& message, bool takeRoutes) {
    std::optional<SipURI> target;
    if (!readRemoteTarget(message, target) || (takeRoutes && !checkRecordRoutes(message))) return false;
    if (target) remoteTarget = std::move(*target);
    if (!takeRoutes) return true;
    routeSet.assign(message.recordRoutes.begin(), message.recordRoutes.end());
    if (!message.isRequest) std::reverse(routeSet.begin(), routeSet.end());
    return true;
}

bool SipDialogInfo::isStrictRouting() const {
    for (const SipRoute& route : routeSet) {
        if (route.address.uri.isSipUri()) return !route.address.uri.lr;
    }
    return false;
}

}  // namespace kel_sip
