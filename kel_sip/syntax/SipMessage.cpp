#include "kel_sip/syntax/SipMessage.h"

#include <iterator>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMessageParser.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipReasonPhrase.h"
#include "kel_sip/syntax/SipSwitches.h"
#include "kel_util/HeaderLine.h"

namespace kel_sip {

SipMessage::SipMessage() {
    copyLayoutSwitches();
}

void SipMessage::copyLayoutSwitches() {
    compact = sipSwitch(SipSwitch::Compact);
    oneLine = sipSwitch(SipSwitch::SipHeaderOneLine);
    viaSeparateLine = sipSwitch(SipSwitch::ViaSeparateLine);
    routeSeparateLine = sipSwitch(SipSwitch::RouteSeparateLine);
    recordRouteSeparateLine = sipSwitch(SipSwitch::RecordRouteSeparateLine);
}

void SipMessage::clear() {
    RFC822Message::clear();
    isRequest = true;
    methodKind = -1;
    methodName.clear();
    statusCode = 0;
    sipVersion = "SIP/2.0";
    requestUri.clear();
    reasonPhrase.clear();
    from.clear();
    to.clear();
    callId.clear();
    cseq.clear();
    unparsedCSeq.clear();
    maxForwards = -1;
    vias.clear();
    routes.clear();
    recordRoutes.clear();
    typedHeaders.clear();
    copyLayoutSwitches();
}

std::string_view SipMessage::getMethodName() const {
    if (!isRequest) return cseq.getMethodName();
    if (methodKind >= 0 && methodKind < SipMethod::Count) return SipMethod::nameOf(methodKind);
    return methodName;
}

void SipMessage::setMethod(std::string_view name) {
    methodKind = SipMethod::kindOf(name);
    methodName.assign(name);
}

void SipMessage::setMethod(int kind) {
    methodKind = kind;
    methodName.assign(SipMethod::nameOf(kind));
}

bool SipMessage::parse(const char* data, int count, std::string& reason) {
    clear();
    reason.clear();
    const char* next = nullptr;
    const int firstLength = data != nullptr && count > 0 ? kel_util::findHeaderLine(data, count, next) : 0;
    if (firstLength == 0) {
        reason = "no first line";
        return false;
    }
    Parser parser(*this, MaxDatagramContentLength);
    const std::string_view firstLine(data, static_cast<size_t>(firstLength));
    if (!parser.parseStartLine(firstLine)) {
        reason = parser.reason();
        // A request line that does not parse still leaves the headers a 400 needs (RFC 4475
        // sections 3.1.2.7, 3.1.2.8): they are read, and the message stays refused.
        if (firstLine.size() < 4 || !kel_util::equalsIgnoreCase(firstLine.substr(0, 4), "SIP/")) {
            isRequest = true;
            parseHeaderBlock(parser, next, data + count);
        }
        return false;
    }
    const char* const end = data + count;
    if (next == nullptr || next >= end) {
        reason = "no header";
        return false;
    }
    const char* bodyStart = parseHeaderBlock(parser, next, end);
    // The body is what follows the empty line, cut to Content-Length; a datagram that ended
    // inside the header block has none.
    const int available = bodyStart != nullptr ? static_cast<int>(end - bodyStart) : 0;
    const int declared = parser.contentLength();
    if (!parser.bad() && declared > available) parser.fail("content data length too short");
    if (parser.bad()) {
        reason = parser.reason();
        return false;
    }
    if (available > 0) setBody(bodyStart, declared >= 0 ? declared : available);
    return true;
}

const char* SipMessage::parseHeaderBlock(Parser& parser, const char* next, const char* end) {
    for (const char* line = next; line != nullptr && line < end; line = next) {
        bool folded = false;
        const int length = kel_util::findHeaderLine(line, static_cast<int>(end - line), next, &folded);
        if (length == 0) return next != nullptr ? next : end;
        parser.parseHeader(std::string_view(line, static_cast<size_t>(length)), folded);
    }
    return nullptr;
}

bool SipMessage::getContacts(std::vector<SipContact>& list, SipContactOptions options) const {
    const kel_util::RFC822ValueList* values = typedHeaders.find(SipHeader::Contact);
    if (values == nullptr) {
        list.clear();
        return false;
    }
    return readContacts(values->getValues(), list, options);
}

void SipMessage::setResponse(int code, const char* phrase) {
    isRequest = false;
    sipVersion = "SIP/2.0";
    statusCode = code;
    reasonPhrase = phrase != nullptr ? phrase : sipReasonPhrase(code);
    requestUri.clear();
    maxForwards = -1;
    routes.clear();
    recordRoutes.clear();
    typedHeaders.clear();
    headers.clear();
    contentType.clear();
    body.clear();
}

bool SipMessage::makeAck() {
    if (!isRequest) return false;
    setMethod(SipMethod::Ack);
    cseq.setMethod(SipMethod::Ack);
    if (vias.size() > 1) vias.resize(1);
    // RFC 3261 section 17.1.1.3: the ACK keeps the Route header fields of the INVITE, so it
    // takes the INVITE's path through the proxies; that holds for Route values added as raw
    // text too, which makeRequestFrom copies as well.
    recordRoutes.clear();
    const kel_util::RFC822ValueList* rawRoutes = typedHeaders.find(SipHeader::Route);
    kel_util::RFC822ValueList keptRoutes = rawRoutes != nullptr ? *rawRoutes : kel_util::RFC822ValueList();
    typedHeaders.clear();
    if (!keptRoutes.empty()) typedHeaders.addAll(SipHeader::Route, keptRoutes);
    headers.clear();
    contentType.clear();
    body.clear();
    return true;
}

void SipMessage::fillResponse(SipMessage& response, int code, const char* phrase) const {
    response.isRequest = false;
    response.statusCode = code;
    response.reasonPhrase = phrase != nullptr ? phrase : sipReasonPhrase(code);
    response.sipVersion = "SIP/2.0";
    response.vias = vias;
    copyDialogFields(response);
    // RFC 3261 section 8.2.6.1: a 100 (Trying) carries the request's Timestamp, from which the
    // client measures the round trip.
    const kel_util::RFC822ValueList* stamps = code == 100 ? typedHeaders.find(SipHeader::Timestamp) : nullptr;
    if (stamps != nullptr) response.typedHeaders.addAll(SipHeader::Timestamp, *stamps);
}

void SipMessage::fillResponse(SipMessage& response, int code, const char* phrase, const char* value) const {
    fillResponse(response, code, phrase);
    if (value == nullptr) return;
    switch (code) {
        case 400: response.addHeader(SipHeader::ReasonPhrase, value); break;
        case 401: response.addHeader(SipHeader::WwwAuthenticate, value); break;
        case 407: response.addHeader(SipHeader::ProxyAuthenticate, value); break;
        case 420: response.addHeader(SipHeader::Unsupported, value); break;
        case 489: response.addHeader(SipHeader::AllowEvents, value); break;
        default: break;
    }
}

void SipMessage::fillResponse(SipMessage& response, int code, const char* phrase, int value) const {
    fillResponse(response, code, phrase);
    if (value <= 0) return;
    switch (code) {
        case 422: response.addHeader(SipHeader::MinSE, std::to_string(value)); break;
        case 423: response.addHeader(SipHeader::MinExpires, std::to_string(value)); break;
        case 500: response.addHeader(SipHeader::RetryAfter, std::to_string(value)); break;
        default: break;
    }
}

void SipMessage::copyDialogFields(SipMessage& target) const {
    target.from = from;
    target.to = to;
    target.callId = callId;
    target.cseq = cseq;
}

bool SipMessage::makeRequestFrom(SipMessage& target, int kind, bool withRoutes) const {
    if (!isRequest) return false;
    target.clear();
    target.setMethod(kind);
    target.requestUri = requestUri;
    target.sipVersion = sipVersion;
    copyDialogFields(target);
    target.cseq.setMethod(kind);
    target.maxForwards = maxForwards;
    if (!vias.empty()) target.vias.push_back(vias.front());
    if (withRoutes) {
        target.routes = routes;
        if (const kel_util::RFC822ValueList* raw = typedHeaders.find(SipHeader::Route)) {
            target.typedHeaders.addAll(SipHeader::Route, *raw);
        }
    }
    return true;
}

bool SipMessage::setTarget(const SipURI& remoteTarget, const std::vector<SipRoute>& routeSet) {
    auto first = routeSet.begin();
    while (first != routeSet.end() && !first->address.uri.isSipUri()) ++first;
    routes = routeSet;
    if (first == routeSet.end() || first->address.uri.lr) {
        requestUri = remoteTarget;
        return false;
    }
    // Strict routing (RFC 3261 section 12.2.1.1): the first route becomes the Request-URI,
    // without the parts a Request-URI may not carry, and the remote target the last Route.
    requestUri = first->address.uri;
    requestUri.methodParam.clear();
    requestUri.uriHeaders.clear();
    routes.erase(routes.begin() + std::distance(routeSet.begin(), first));
    SipRoute last;
    last.address.uri = remoteTarget;
    routes.push_back(std::move(last));
    return true;
}

void SipMessage::addRoutes(const std::vector<SipRoute>& list) {
    routes.insert(routes.end(), list.begin(), list.end());
}

void SipMessage::prependRecordRoutes(const std::vector<SipRoute>& list) {
    recordRoutes.insert(recordRoutes.begin(), list.begin(), list.end());
}

}  // namespace kel_sip
