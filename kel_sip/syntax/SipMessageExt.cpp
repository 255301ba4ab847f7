#include "kel_sip/syntax/SipMessageExt.h"

#include <algorithm>
#include <iterator>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipSwitches.h"
#include "kel_sip/syntax/SipViaAddressing.h"

namespace kel_sip {
namespace {

std::unique_ptr<SipMessageExt> newRequest(const SipRequestFields& fields) {
    auto request = std::make_unique<SipMessageExt>();
    request->setMethod(fields.methodKind);
    request->cseq.setNumber(fields.cseqNumber);
    request->cseq.setMethod(fields.methodKind);
    request->from = fields.from;
    request->to = fields.to;
    request->callId = fields.callId;
    request->maxForwards = fields.maxForwards;
    if (fields.contact != nullptr) request->addTypedHeader(SipHeader::Contact, *fields.contact);
    return request;
}

}  // namespace

void SipMessageExt::clear() {
    SipMessage::clear();
    peer.clear();
    transportId = -1;
    transportType = -1;
    connectionId = -1;
}

std::unique_ptr<SipMessageExt> SipMessageExt::createRequest(const SipRequestFields& fields, const SipURI& requestUri) {
    auto request = newRequest(fields);
    request->requestUri = requestUri;
    return request;
}

std::unique_ptr<SipMessageExt> SipMessageExt::createInDialogRequest(const SipRequestFields& fields,
                                                                    const SipURI& remoteTarget,
                                                                    const std::vector<SipRoute>& routeSet) {
    auto request = newRequest(fields);
    request->setTarget(remoteTarget, routeSet);
    return request;
}

std::unique_ptr<SipMessageExt> SipMessageExt::createRequestFromResponse(int methodKind, const SipMessageExt& response,
                                                                        const SipContact* contact, int skipCount,
                                                                        int maxForwards, bool copyConnection) {
    std::vector<SipContact> contacts;
    SipContactOptions options;
    options.unescape = sipSwitch(SipSwitch::UnEscapeContact);
    if (!response.getContacts(contacts, options) || contacts.empty()) return nullptr;
    const SipContact& target = contacts.front();
    if (target.wildcard || !target.address.uri.isSipUri()) return nullptr;
    // RFC 3261 section 12.1.2: the caller's route set is the Record-Route list in reverse.
    std::vector<SipRoute> routeSet;
    const int skip = std::max(skipCount, 0);
    for (auto it = response.recordRoutes.rbegin(); it != response.recordRoutes.rend(); ++it) {
        if (std::distance(it, response.recordRoutes.rend()) <= skip) break;
        routeSet.push_back(*it);
    }
    SipRequestFields fields;
    fields.methodKind = methodKind;
    fields.from = response.from;
    fields.to = response.to;
    fields.callId = response.callId;
    fields.cseqNumber = response.cseq.getNumber();
    fields.contact = contact;
    fields.maxForwards = maxForwards;
    auto request = createInDialogRequest(fields, target.address.uri, routeSet);
    request->transportId = response.transportId;
    request->transportType = response.transportType;
    if (copyConnection) request->connectionId = response.connectionId;
    return request;
}

void SipMessageExt::copyTransport(SipMessageExt& target, bool withPeer) const {
    if (withPeer) target.peer = peer;
    target.transportId = transportId;
    target.transportType = transportType;
    target.connectionId = connectionId;
}

std::unique_ptr<SipMessageExt> SipMessageExt::createResponse(int code, const char* phrase, bool copyPeer) const {
    auto response = std::make_unique<SipMessageExt>();
    fillResponse(*response, code, phrase);
    copyTransport(*response, copyPeer);
    return response;
}

std::unique_ptr<SipMessageExt> SipMessageExt::createResponse(int code, const char* phrase, const char* value,
                                                             bool copyPeer) const {
    auto response = std::make_unique<SipMessageExt>();
    fillResponse(*response, code, phrase, value);
    copyTransport(*response, copyPeer);
    return response;
}

std::unique_ptr<SipMessageExt> SipMessageExt::createResponse(int code, const char* phrase, int value,
                                                             bool copyPeer) const {
    auto response = std::make_unique<SipMessageExt>();
    fillResponse(*response, code, phrase, value);
    copyTransport(*response, copyPeer);
    return response;
}

std::unique_ptr<SipMessageExt> SipMessageExt::createCancel(bool withRoutes) const {
    auto cancel = std::make_unique<SipMessageExt>();
    if (!makeRequestFrom(*cancel, SipMethod::Cancel, withRoutes)) return nullptr;
    copyTransport(*cancel, true);
    return cancel;
}

bool SipMessageExt::setMessagePeer() {
    SipPeerAddress next;
    if (isRequest) {
        const bool looseRoute = !routes.empty() && routes.front().address.uri.isSipUri() && routes.front().address.uri.lr;
        const SipURI::Target target = (looseRoute ? routes.front().address.uri : requestUri).target();
        next.host = target.host;
        next.port = target.port;
    } else if (!vias.empty()) {
        next = responseDestination(vias.front());
    }
    if (next.host.empty()) return false;
    peer = std::move(next);
    return true;
}

bool SipMessageExt::stampReceived() {
    return !vias.empty() && kel_sip::stampReceived(vias.front(), peer);
}

}  // namespace kel_sip
