#include "kel_sip/usage/SipDialog.h"

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipReasonPhrase.h"
#include "kel_util/Log.h"
#include "kel_util/Random.h"

namespace kel_sip {

using kel_util::logPrint;
using kel_util::MIN;

namespace {

std::string userOf(const SipURI& uri) { return uri.userInfo.user; }

SipFromTo withTag(const SipFromTo& party, const std::string& tag) {
    SipFromTo value = party;
    value.tag = tag;
    return value;
}

// ACK and CANCEL carry the number of the request they belong to (RFC 3261 sections 9.1 and
// 13.2.2.4); every other new request takes the next one (section 12.2.1.1).
bool takesNewSeqNo(std::string_view method) { return method != "ACK" && method != "CANCEL"; }

}  // namespace

const char* dialogStateString(int state) {
    switch (state) {
        case kDialogIdle: return "Idle";
        case kDialogPending: return "Pending";
        case kDialogEarly: return "Early";
        case kDialogConfirmed: return "Confirmed";
        default: return "Unkown";
    }
}

SipDialog::SipDialog(TransactionUserExt& owner, SipTransactionController& transactions)
    : owner_(owner), transactions_(transactions) {}

SipDialog::~SipDialog() = default;

void SipDialog::clean() {}

bool SipDialog::startTimer(int milliseconds, int timerName) { return owner_.setTimer(milliseconds, id_, timerName, 0); }

void SipDialog::stopTimer(int timerName) { owner_.cancelTimer(id_, timerName); }

int SipDialog::sendRequest(const SipMessageExt& request) { return owner_.sendRequest(request, id_); }

bool SipDialog::sendResponse(const SipMessageExt& response, bool notifyFailureAck) {
    return owner_.sendResponse(response, id_, notifyFailureAck);
}

bool SipDialog::sendResponseFromRequest(const SipMessageExt& request, int statusCode, const char* reasonPhrase,
                                        const ResponseContent& content, const char* toTag) {
    return owner_.sendResponseFromRequest(request, statusCode, reasonPhrase, content, toTag, id_);
}

bool SipDialog::sendResponseFromRequest(int serverTransactionId, const SipMessageExt& request, int statusCode,
                                        const char* reasonPhrase, const char* toTag) {
    return owner_.sendResponseFromRequest(serverTransactionId, request, statusCode, reasonPhrase, toTag, id_);
}

std::string SipDialog::createBranch() {
    std::string branch;
    transactions_.createBranch(branch);
    return branch;
}

std::optional<SipPeerAddress> SipDialog::getOutboundPeer() const { return owner_.getOutboundPeer(); }

bool SipDialog::getUpdateFromAddress() const { return owner_.getUpdateFromAddress(); }

bool SipDialog::getUpdateToAddress() const { return owner_.getUpdateToAddress(); }

bool SipDialog::deleteClientTransaction(int id) { return transactions_.deleteClientTransaction(id); }

bool SipDialog::deleteServerTransaction(int id) { return transactions_.deleteServerTransaction(id); }

bool SipDialog::onTimeout(int timerName) {
    logPrint(MIN, "SipDialog::onTimeout. Invalid TimerName=%d, SipDialogState=[%s], id=%d.\n", timerName,
             getStateString(), id_);
    return false;
}

bool SipDialog::onReceiveRequest(SipMessageSlot& request, int serverTransactionId) {
    const std::string method(request->getMethodName());
    logPrint(MIN, "SipDialog::onReceiveRequest. Received undefined Method=[%s], SipDialogState=[%s], id=%d.\n",
             method.c_str(), getStateString(), id_);
    return sendResponseFromRequest(serverTransactionId, *request, 405, nullptr, dialogId_.localTag.c_str());
}

bool SipDialog::onReceiveResponse(SipMessageSlot& response) {
    const std::string method(response->getMethodName());
    logPrint(MIN,
             "SipDialog::onReceiveResponse. Received response for undefined Method=[%s], StatusCode=%d, "
             "SipDialogState=[%s], id=%d.\n",
             method.c_str(), response->statusCode, getStateString(), id_);
    return false;
}

bool SipDialog::onClientTransactionTimeout(SipMessageSlot& request) {
    const std::string method(request->getMethodName());
    logPrint(MIN,
             "SipDialog::onClientTransactionTimeout. Client transatction timeout for undefined Method=[%s], "
             "SipDialogState=[%s], id=%d.\n",
             method.c_str(), getStateString(), id_);
    return false;
}

bool SipDialog::onRequestTransportError(SipMessageSlot& request) {
    const std::string method(request->getMethodName());
    logPrint(MIN,
             "SipDialog::onRequestTransportError. Request transport error for undefined Method=[%s], "
             "SipDialogState=[%s], id=%d.\n",
             method.c_str(), getStateString(), id_);
    return false;
}

bool SipDialog::onResponseTransportError(SipMessageSlot& response) {
    const std::string method(response->getMethodName());
    logPrint(MIN,
             "SipDialog::onResponseTransportError. Response transport error for undefined Method=[%s], "
             "StatusCode=%d, SipDialogState=[%s], id=%d.\n",
             method.c_str(), response->statusCode, getStateString(), id_);
    return false;
}

bool SipDialog::createAsCaller(const SipDialogStart& start) {
    if (state_ != kDialogIdle) {
        logPrint(MIN, "SipDialog::createAsCaller. Invalid SipDialogState=[%s], id=%d.\n", getStateString(), id_);
        return false;
    }
    dialogId_.callId = start.callId;
    dialogId_.localTag = start.localTag.empty() ? makeTag() : start.localTag;
    dialogId_.remoteTag.clear();
    dialogId_.localUser = userOf(start.localContact.uri);
    info_.remoteTarget = start.requestUri;
    info_.localParty = withTag(start.localParty, {});
    info_.remoteParty = withTag(start.remoteParty, {});
    info_.localContact = start.localContact;
    setCredentials(start.credentials);
    binding_ = {start.transportType, start.transportId, -1};
    maxForwards_ = start.maxForwards;
    state_ = kDialogPending;
    return true;
}

bool SipDialog::createFromRequest(const SipMessageExt& request, int transportType, int transportId, int maxForwards,
                                  const std::string& localTag) {
    if (state_ != kDialogIdle) {
        logPrint(MIN, "SipDialog::createFromRequest. Invalid SipDialogState=[%s], id=%d.\n", getStateString(), id_);
        return false;
    }
    if (!info_.takeRequest(request)) {
        logPrint(MIN, "SipDialog::createFromRequest. Failed to take addressing, Call-ID=[%s], id=%d.\n",
                 request.callId.c_str(), id_);
        return false;
    }
    dialogId_.callId = request.callId;
    dialogId_.localTag = localTag.empty() ? makeTag() : localTag;
    dialogId_.remoteTag = request.from.tag;
    dialogId_.localUser = userOf(request.requestUri);
    binding_ = {transportType, transportId, -1};
    maxForwards_ = maxForwards;
    state_ = kDialogPending;
    return true;
}

void SipDialog::setInitialLocalSeqNo(int initialLocalSeqNo) {
    // Below 2^30, so that the dialog has room for its requests before the largest CSeq.
    info_.localSeqNo =
        initialLocalSeqNo < 0 ? static_cast<int>(kel_util::randomUInt32() & 0x3fffffffu) : initialLocalSeqNo - 1;
}

bool SipDialog::confirm(const SipMessageExt& response) {
    SipDialogInfo taken = info_;
    if (!taken.takeTargetAndRoutes(response, true)) {
        logPrint(MIN, "SipDialog::confirm. Unusable Contact or Record-Route, dialog kept, StatusCode=%d, id=%d.\n",
                 response.statusCode, id_);
        return false;
    }
    if (getUpdateFromAddress()) taken.localParty = withTag(response.from, {});
    if (getUpdateToAddress()) taken.remoteParty = withTag(response.to, {});
    info_ = std::move(taken);
    dialogId_.remoteTag = response.to.tag;
    state_ = kDialogConfirmed;
    return true;
}

void SipDialog::adoptInfo(const SipDialogInfo& info) {
    const int localSeqNo = std::max(info_.localSeqNo, info.localSeqNo);
    info_ = info;
    info_.localSeqNo = localSeqNo;
}

void SipDialog::renewLocalTag() { dialogId_.localTag = makeTag(); }

void SipDialog::setCredentials(const AuthenticateData* credentials) {
    credentials_ = credentials != nullptr ? std::make_unique<AuthenticateData>(*credentials) : nullptr;
}

std::unique_ptr<SipMessageExt> SipDialog::createRequest(std::string_view method, int cseqNumber) {
    SipContact contact;
    contact.address = info_.localContact;
    SipRequestFields fields;
    fields.from = withTag(info_.localParty, dialogId_.localTag);
    fields.to = withTag(info_.remoteParty, dialogId_.remoteTag);
    fields.callId = dialogId_.callId;
    fields.cseqNumber = cseqNumber;
    fields.contact = info_.localContact.empty() ? nullptr : &contact;
    fields.maxForwards = maxForwards_;
    std::unique_ptr<SipMessageExt> request = SipMessageExt::createRequest(fields, info_.remoteTarget);
    request->setMethod(method);
    request->cseq.setMethod(method);
    const bool strict = request->setTarget(info_.remoteTarget, info_.routeSet);
    int type = binding_.transportType;
    if (binding_.transportId >= 0) {
        request->transportId = binding_.transportId;
        if (binding_.connectionId >= 0) request->connectionId = binding_.connectionId;
    } else {
        // The URI the request is sent to may name its transport (RFC 3261 section 18.1.1).
        const bool looseRoute = !strict && !request->routes.empty() && request->routes.front().address.uri.isSipUri();
        const int named = (looseRoute ? request->routes.front().address.uri : request->requestUri).transportType();
        if (named >= 0) type = named;
    }
    request->transportType = type;
    request->vias.insert(request->vias.begin(), SipVia(transportName(type), SipHostPort(), createBranch()));
    return request;
}

std::unique_ptr<SipMessageExt> SipDialog::createResponse(const std::vector<SipVia>& vias, std::string_view method,
                                                         int cseqNumber, int statusCode,
                                                         const char* reasonPhrase) const {
    auto response = std::make_unique<SipMessageExt>();
    response->setResponse(statusCode, reasonPhrase);
    response->from = withTag(info_.remoteParty, dialogId_.remoteTag);
    // A 100 comes from the transaction, not the dialog: it carries no tag (RFC 3261 section 8.2.6.2).
    response->to = withTag(info_.localParty, statusCode == 100 ? std::string() : dialogId_.localTag);
    response->callId = dialogId_.callId;
    response->cseq.setNumber(cseqNumber);
    response->cseq.setMethod(method);
    response->vias = vias;
    if (statusCode > 100 && statusCode < 300) response->recordRoutes = info_.routeSet;
    if (statusCode > 100 && statusCode < 400 && !info_.localContact.empty()) {
        SipContact contact;
        contact.address = info_.localContact;
        response->addTypedHeader(SipHeader::Contact, contact);
    }
    response->transportType = binding_.transportType;
    response->transportId = binding_.transportId;
    response->connectionId = binding_.connectionId;
    return response;
}

int SipDialog::sendRequestTo(SipMessageExt& request, const SipPeerAddress* peer, bool strictRouting) {
    if (!binding_.isConnection()) {
        const std::optional<SipPeerAddress> outbound = getOutboundPeer();
        const SipPeerAddress* chosen = outbound ? &*outbound : peer;
        if (chosen != nullptr) {
            if (chosen->empty()) {
                logPrint(MIN, "SipDialog::sendRequestTo. Failed setPeer, HostPort=[%s], id=%d.\n",
                         chosen->toString().c_str(), id_);
                return -1;
            }
            request.peer = *chosen;
        } else if (strictRouting) {
            // A strict router is the Request-URI itself; a loose route after it is not the next hop.
            const SipURI::Target target = request.requestUri.target();
            if (target.host.empty()) {
                logPrint(MIN, "SipDialog::sendRequestTo. Failed setRequestPeer, StrictRouting=%d, id=%d.\n", 1, id_);
                return -1;
            }
            request.peer = {target.host, target.port};
        } else if (!request.setMessagePeer()) {
            logPrint(MIN, "SipDialog::sendRequestTo. Failed setRequestPeer, StrictRouting=%d, id=%d.\n", 0, id_);
            return -1;
        }
    }
    const int result = sendRequest(request);
    return result < 0 ? -1 : result;
}

bool SipDialog::sendDialogRequest(std::string_view method, std::string_view body, std::string_view contentType,
                                  const HeaderListBase* headers) {
    if (state_ != kDialogEarly && state_ != kDialogConfirmed) {
        logPrint(MIN, "SipDialog::sendDialogRequest. Invalid SipDialogState=[%s], id=%d.\n", getStateString(), id_);
        return false;
    }
    const int cseqNumber = takesNewSeqNo(method) ? info_.nextLocalSeqNo() : info_.localSeqNo;
    if (cseqNumber < 0) return false;
    std::unique_ptr<SipMessageExt> request = createRequest(method, cseqNumber);
    if (!body.empty()) {
        request->setBody(body.data(), static_cast<int>(body.size()));
        request->contentType = contentType.empty() ? "application/sdp" : std::string(contentType);
    }
    if (headers != nullptr) request->addHeaders(*headers);
    return sendRequestTo(*request, nullptr, info_.isStrictRouting()) >= 0;
}

}  // namespace kel_sip
