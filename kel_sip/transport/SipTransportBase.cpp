#include "kel_sip/transport/SipTransportBase.h"

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipParseException.h"
#include "kel_sip/syntax/SipViaAddressing.h"
#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_sip/transport/SipTransportHooks.h"
#include "kel_sip/transport/SipTransportReceiver.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;
using kel_util::ScopedLock;

namespace {

// The parse and validation reasons may quote received bytes; a control byte in a header
// value would let a sender shape the answer's header block.
std::string headerSafe(const std::string& text) {
    std::string safe = text;
    for (char& c : safe) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) c = ' ';
    }
    return safe;
}

// RFC 3261 section 17.1.1.3: an ACK is never answered. A request whose CSeq names ACK counts
// too, so that a broken ACK whose request line did not parse is not answered either.
bool isAck(const SipMessageExt& request) {
    return request.methodKind == SipMethod::Ack || request.cseq.getMethodKind() == SipMethod::Ack;
}

const char* kindText(const SipMessageExt& message) { return message.isRequest ? "request" : "response"; }

}  // namespace

SipTransportBase::SipTransportBase(SipTransportReceiver& receiver, int transportId)
    : receiver_(receiver), transportId_(transportId) {}

SipTransportBase::~SipTransportBase() = default;

bool SipTransportBase::setViaParams(const char* params) {
    if (params == nullptr) {
        logPrint(DBG, "SipTransportBase::setViaParams. Invalid params.\n");
        return false;
    }
    ScopedLock<kel_util::Mutex> guard(viaParamsMutex_);
    if (*params == '\0') {
        viaParams_.clear();
        return true;
    }
    // The list may be written as it follows a sent-by, with its leading ";".
    if (*params == ';') ++params;
    try {
        viaParams_.parse(params, static_cast<int>(std::char_traits<char>::length(params)), true);
        return true;
    } catch (const SipParseException& error) {
        logPrint(MIN, "SipTransportBase::setViaParams. Failed to parse params, SipParseException: [%s].\n",
                 error.toString().c_str());
        viaParams_.clear();
        return false;
    }
}

void SipTransportBase::setSentBy(const char* host, int port) {
    ScopedLock<kel_util::Mutex> guard(sentByMutex_);
    if (host != nullptr) sentByHost_ = host;
    if (port >= 0) sentByPort_ = port;
}

std::string SipTransportBase::getViaParams() const {
    ScopedLock<kel_util::Mutex> guard(viaParamsMutex_);
    std::string out;
    viaParams_.print(out);
    return out;
}

void SipTransportBase::setViaRPort(bool on) noexcept { viaRPort_.store(on, std::memory_order_relaxed); }

std::string SipTransportBase::getSentByHost() const {
    ScopedLock<kel_util::Mutex> guard(sentByMutex_);
    return sentByHost_;
}

int SipTransportBase::getSentByPort() const {
    ScopedLock<kel_util::Mutex> guard(sentByMutex_);
    return sentByPort_;
}

void SipTransportBase::completeTopVia(SipVia& via) const {
    {
        ScopedLock<kel_util::Mutex> guard(sentByMutex_);
        via.setSentBy(SipHostPort(sentByHost_, sentByPort_));
    }
    if (viaRPort_.load(std::memory_order_relaxed)) via.setRport(0);
    ScopedLock<kel_util::Mutex> guard(viaParamsMutex_);
    via.clearParameters();
    via.copyParameters(viaParams_);
}

bool SipTransportBase::notifyTransaction(int eventType, std::unique_ptr<SipMessageExt>& message, intptr_t param2) {
    if (receiver_.takeReceivedMessage(eventType, message, param2, *this)) {
        logPrint(DBG, "SipTransportBase::notifyTransaction. Succeeded setEvent EventType=%d.\n", eventType);
        return true;
    }
    logPrint(MIN, "SipTransportBase::notifyTransaction. Failed setEvent EventType=%d.\n", eventType);
    return false;
}

bool SipTransportBase::procReceiveSipMessage(std::unique_ptr<SipMessageExt> message) {
    if (runReceiveFilterHook(*message)) {
        logPrint(DET, "SipTransportBase::procReceiveSipMessage. Received SipMessageExt filtered, type=[%s], method=[%s].\n",
                 kindText(*message), std::string(message->getMethodName()).c_str());
        return true;
    }
    std::string reason;
    int status = 400;
    if (!message->validate(reason, status)) {
        logPrint(MIN, "SipTransportBase::procReceiveSipMessage. Failed SipMessageExt validate, reason=[%s].\n",
                 reason.c_str());
        if (!message->isRequest) {
            logPrint(DBG, "SipTransportBase::procReceiveSipMessage. Invalid response, ignored.\n");
            return true;
        }
        return answerRequest(*message, status, reason, "SipTransportBase::procReceiveSipMessage");
    }
    message->transportId = transportId_;
    message->transportType = getTransportType();
    if (message->isRequest) {
        if (!procReceiveRequest(std::move(message))) {
            logPrint(MIN, "SipTransportBase::procReceiveSipMessage. Failed procReceiveRequest.\n");
            return false;
        }
        logPrint(DBG, "SipTransportBase::procReceiveSipMessage. Succeeded procReceiveResponse.\n");
        return true;
    }
    logPrint(DBG, "SipTransportBase::procReceiveSipMessage. Passing response to TransactionController.\n");
    return notifyTransaction(SIPTRANSPORT_EVMSGTYPE_RECVSIPRESPONSE, message, 0);
}

bool SipTransportBase::procReceiveRequest(std::unique_ptr<SipMessageExt> message) {
    logPrint(DET, "SipTransportBase::procReceiveRequest. Received SIP request, Method=[%s].\n",
             std::string(message->getMethodName()).c_str());
    if (!message->stampReceived()) {
        logPrint(MIN, "SipTransportBase::procReceiveRequest. Failed to set received in Via.\n");
        return false;
    }
    return _procReceiveRequest(std::move(message));
}

bool SipTransportBase::_procReceiveRequest(std::unique_ptr<SipMessageExt> message) {
    int code = 200;
    if (!checkOptions(*message)) {
        logPrint(DBG, "SipTransportBase::_procReceiveRequest. Passing request to TransactionController.\n");
        if (notifyTransaction(SIPTRANSPORT_EVMSGTYPE_RECVSIPREQUEST, message, 0)) return true;
        code = 500;  // the controller no longer accepts
    }
    return answerRequest(*message, code, {}, "SipTransportBase::_procReceiveRequest");
}

bool SipTransportBase::checkOptions(const SipMessageExt& request) const {
    if (!answerOwnOptions() || request.methodKind != SipMethod::Options || !request.requestUri.isSipUri() ||
        !request.requestUri.userInfo.user.empty()) {
        return false;
    }
    logPrint(DBG, "SipTransportBase::checkOptions. Received my OPTIONS.\n");
    return true;
}

bool SipTransportBase::answerRequest(SipMessageExt& request, int code, const std::string& reason, const char* logPrefix) {
    if (isAck(request)) {
        logPrint(MIN, "%s. ACK dropped without response, StatusCode=%d, reason=[%s].\n", logPrefix, code, reason.c_str());
        return true;
    }
    // RFC 3261 section 18.2.2 and RFC 3581 section 4: the answer goes where the top Via,
    // stamped with the request's source, says; the source itself when the Via names no host.
    if (!request.vias.empty() && !request.vias.front().getSentBy().host.empty() && request.stampReceived()) {
        const SipPeerAddress destination = responseDestination(request.vias.front());
        if (!destination.empty()) request.peer = destination;
    }
    request.setResponse(code);
    if (!reason.empty()) request.addHeader(SipHeader::ReasonPhrase, headerSafe(reason));
    if (!request.to.empty() && request.to.tag.empty()) request.to.tag = makeTag();
    if (!sendResponse(request, 0)) {
        logPrint(MIN, "%s. Failed sendResponse.\n", logPrefix);
        return false;
    }
    return true;
}

}  // namespace kel_sip
