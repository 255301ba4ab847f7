// UPDATE (RFC 3311) in the early and the confirmed dialog, both ways, and INFO received: one
// UPDATE each way at a time; UPDATEs that cross are answered 491 (RFC 3311 section 5.2); an
// UPDATE or INFO received waits for the user agent's answer, and is answered 500 when the
// call ends first. A 2xx to an UPDATE refreshes the remote target and makes its offer or
// answer the session's local content.
#include <algorithm>

#include "kel_sip/syntax/SDP.h"
#include "kel_sip/syntax/SipContact.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SessionBody.h"
#include "kel_sip/usage/SipSession.h"
#include "kel_sip/usage/SipSessionController.h"
#include "kel_sip/usage/SipSessionDialog.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::logPrint;
using kel_util::MIN;

namespace {

bool isSuccess(int statusCode) { return statusCode >= 200 && statusCode < 300; }

}  // namespace

bool SipSession::sendUpdate(const UpdateOrder& order) {
    if (state_ != kSessionInviting && state_ != kSessionInvited && state_ != kSessionAcknowledged)
        return refuse("sendUpdate");
    if (updating_ || updated_) {
        logPrint(MIN, "SipSession::sendUpdate. %s exists, SipSessionState=[%s], id=%d.\n",
                 updating_ ? "UpdatingSipSessionData" : "UpdatedSipSessionData", getStateString(), dialogId());
        return false;
    }
    // In the early dialog the peer knows of it only once a provisional response with a tag went.
    const bool early = state_ != kSessionAcknowledged;
    if (early && dialog_.getState() != kDialogEarly) return refuse("sendUpdate");
    const int seqNo = dialog_.info().nextLocalSeqNo();
    if (seqNo < 0) return refuse("sendUpdate");
    auto data = std::make_unique<UpdatingSipSessionData>();
    static_cast<SipDialogInfo&>(*data) = dialog_.info();
    std::unique_ptr<SipMessageExt> update = dialog_.createRequest("UPDATE", seqNo);
    if (state_ == kSessionInviting) update->to.tag = inviting_->provisionalToTag;
    data->body = order.reuseLocalContent ? localBody_ : std::string(order.body);
    data->contentType = contentTypeOr(order.contentType, localContentType_);
    attachBody(*update, data->body, data->contentType);
    data->sessionTimer = sessionTimer_.addRequestHeaders(order.sessionTimer, *update);
    addAllow(*update, false);
    if (order.headers != nullptr) update->addHeaders(*order.headers);
    if (dialog_.credentials() != nullptr) dialog_.credentials()->addCredentials(*update);
    const int transactionId = dialog_.sendRequestTo(*update, nullptr, dialog_.info().isStrictRouting());
    if (transactionId < 1) {
        logPrint(MIN, "SipSession::sendUpdate. Failed sendRequestTo, result=%d, id=%d.\n", transactionId, dialogId());
        return false;
    }
    data->clientTransactionId = transactionId;
    updating_ = std::move(data);
    return report(kEventSentUpdate, update.get(), "sendUpdate");
}

bool SipSession::onUpdateResponse(SipMessageExt& response) {
    if (response.statusCode < 200) return true;
    if (!updating_ || response.cseq.getNumber() != updating_->localSeqNo) {
        logPrint(MIN,
                 "SipSession::onReceiveResponseUpdate. Invalid SequenceNumber=%d, Method=[UPDATE], StatusCode=%d, "
                 "SipSessionState=[%s], id=%d.\n",
                 response.cseq.getNumber(), response.statusCode, getStateString(), dialogId());
        return false;
    }
    const std::unique_ptr<UpdatingSipSessionData> update = std::move(updating_);
    if (!isSuccess(response.statusCode)) return report(kEventUpdatingFailed, &response, "onReceiveResponseUpdate");
    takeUpdate(response, update->body, update->contentType);
    // RFC 4028 section 7.2: the 2xx sets the interval anew.
    sessionTimer_.takeSuccess(update->sessionTimer, response, logTag());
    procSessionTimer();
    return report(kEventUpdatingSucceeded, &response, "onReceiveResponseUpdate");
}

std::optional<bool> SipSession::onExtensionRequestEnd(const SipMessageExt& request, bool timeout,
                                                      const char* operation) {
    switch (request.methodKind) {
        case SipMethod::Prack:
            // The provisional responses that follow are taken again.
            if (inviting_) inviting_->prackSent = false;
            return report(timeout ? kEventPrAckingTransactionTimeout : kEventPrAckingTransportError, &request,
                          operation);
        case SipMethod::Update:
            if (!updating_ || request.cseq.getNumber() != updating_->localSeqNo) return refuse(operation);
            updating_.reset();
            return report(timeout ? kEventUpdatingTransactionTimeout : kEventUpdatingTransportError, &request,
                          operation);
        case SipMethod::Info:
            logPrint(MIN, "SipSession::%s. No InfoingSipSessionData, Method=[INFO], SipSessionState=[%s], id=%d.\n",
                     operation, getStateString(), dialogId());
            return false;
        default: return std::nullopt;
    }
}

bool SipSession::onReceiveUpdate(SipMessageExt& request, int serverTransactionId) {
    if (updated_) {
        // RFC 3311 section 5.2: the last UPDATE received has not been answered yet.
        logPrint(MIN, "SipSession::onReceiveUpdate. UpdatedSipSessionData exists, SipSessionState=[%s], id=%d.\n",
                 getStateString(), dialogId());
        return answer(request, serverTransactionId, 500);
    }
    const bool takes = state_ == kSessionInviting || state_ == kSessionInvited || state_ == kSessionAcknowledged;
    if (updating_ || !takes) {
        // RFC 3311 section 5.2: UPDATEs that cross, or one while another INVITE transaction is under way.
        logPrint(MIN, "SipSession::onReceiveUpdate. Request pending, SipSessionState=[%s], id=%d.\n",
                 getStateString(), dialogId());
        return answer(request, serverTransactionId, 491);
    }
    SDP offer;
    bool badSdp = false;
    request.getSdp(offer, badSdp);
    auto data = std::make_unique<UpdatedSipSessionData>();
    keepRequest(*data, request, serverTransactionId);
    if (badSdp || !data->takeTargetAndRoutes(request, false)) {
        logPrint(MIN, "SipSession::onReceiveUpdate. Invalid %s, SipSessionState=[%s], id=%d.\n",
                 badSdp ? "SDP" : "Contact", getStateString(), dialogId());
        return answer(request, serverTransactionId, 400);
    }
    if (const std::optional<bool> refused = checkUpdateSessionTimer(*data)) return *refused;
    updated_ = std::move(data);
    if (report(kEventUpdated, &request, "onReceiveUpdate")) return true;
    // The user agent did not take it: the controller answers 500.
    updated_.reset();
    return false;
}

bool SipSession::sendUpdateResponse(const SessionResponse& response) {
    if (!updated_) return refuse("sendUpdateResponse");
    if (!isFinalAnswer(response.statusCode, "sendUpdateResponse")) return false;
    std::string body;
    std::string contentType;
    reusedContent(body, contentType);
    const std::unique_ptr<UpdatedSipSessionData> update = std::move(updated_);
    SessionTimerValues sessionTimer;
    const auto addSessionTimer = [&](SipMessageExt& message) {
        sessionTimer = sessionTimer_.addSuccessHeaders(response.sessionTimer, update->sessionTimer, message);
    };
    if (!sendKeptResponse(*update, response, contentType, "sendUpdateResponse", addSessionTimer)) return false;
    if (!isSuccess(response.statusCode))
        return report(kEventSentUpdateErrorResponse, nullptr, "sendUpdateResponse");
    if (!response.reuseLocalContent) body = response.body;
    takeUpdate(*update->request, body, contentTypeOr(response.contentType, contentType));
    if (state_ != kSessionIdle) {
        dialog_.info().remoteSeqNo = std::max(dialog_.info().remoteSeqNo, update->remoteSeqNo);
        sessionTimer_.takeSent(sessionTimer);
        procSessionTimer();
    }
    return report(kEventSentUpdateFinalResponse, nullptr, "sendUpdateResponse");
}

bool SipSession::onReceiveInfo(SipMessageExt& request, int serverTransactionId) {
    if (infoed_) {
        // The user agent left the last INFO unanswered: it is answered 500 now and this one
        // takes its place, so that one INFO never answered does not refuse all that follow.
        logPrint(MIN, "SipSession::onReceiveInfo. Unanswered INFO answered 500, SipSessionState=[%s], id=%d.\n",
                 getStateString(), dialogId());
        SessionResponse stale;
        stale.statusCode = 500;
        const std::unique_ptr<InfoedSipSessionData> old = std::move(infoed_);
        sendKeptResponse(*old, stale, {}, "onReceiveInfo");
    }
    auto data = std::make_unique<InfoedSipSessionData>();
    keepRequest(*data, request, serverTransactionId);
    infoed_ = std::move(data);
    if (report(kEventInfoed, &request, "onReceiveInfo")) return true;
    // The user agent did not take it: the controller answers 500.
    infoed_.reset();
    return false;
}

bool SipSession::sendInfoResponse(const SessionResponse& response) {
    if (!infoed_) return refuse("sendInfoResponse");
    if (!isFinalAnswer(response.statusCode, "sendInfoResponse")) return false;
    std::string body;
    std::string contentType;
    reusedContent(body, contentType);
    const std::unique_ptr<InfoedSipSessionData> info = std::move(infoed_);
    if (!sendKeptResponse(*info, response, contentType, "sendInfoResponse")) return false;
    return report(isSuccess(response.statusCode) ? kEventSentInfoFinalResponse : kEventSentInfoErrorResponse,
                  nullptr, "sendInfoResponse");
}

bool SipSession::isFinalAnswer(int statusCode, const char* operation) const {
    if (statusCode >= 200 && statusCode <= 699) return true;
    logPrint(MIN, "SipSession::%s. Invalid StatusCode=%d, SipSessionState=[%s], id=%d.\n", operation, statusCode,
             getStateString(), dialogId());
    return false;
}

void SipSession::keepRequest(AnsweredSipSessionData& data, const SipMessageExt& request, int serverTransactionId) {
    static_cast<SipDialogInfo&>(data) = dialog_.info();
    data.remoteSeqNo = request.cseq.getNumber();
    data.serverTransactionId = serverTransactionId;
    data.vias = request.vias;
    data.request = std::make_unique<SipMessageExt>(request);
}

bool SipSession::sendKeptResponse(const AnsweredSipSessionData& data, const SessionResponse& response,
                                  const std::string& fallbackType, const char* operation,
                                  const std::function<void(SipMessageExt&)>& decorateSuccess) {
    const std::string phrase(response.reasonPhrase);
    std::unique_ptr<SipMessageExt> message =
        data.request->createResponse(response.statusCode, phrase.empty() ? nullptr : phrase.c_str(), true);
    std::string body;
    std::string reusedType;
    if (response.reuseLocalContent) reusedContent(body, reusedType);
    else body = response.body;
    attachBody(*message, body, contentTypeOr(response.contentType, fallbackType));
    if (data.request->methodKind == SipMethod::Update && isSuccess(response.statusCode)) {
        // RFC 3311 section 5.2: the 2xx to UPDATE names this side's target.
        if (!dialog_.info().localContact.empty()) {
            SipContact contact;
            contact.address = dialog_.info().localContact;
            message->addTypedHeader(SipHeader::Contact, contact);
        }
        if (decorateSuccess) decorateSuccess(*message);
        addAllow(*message, false);
    }
    if (response.headers != nullptr) message->addHeaders(*response.headers);
    if (dialog_.sendResponse(*message)) return true;
    logPrint(MIN, "SipSession::%s. Failed sendResponse, StatusCode=%d, id=%d.\n", operation, response.statusCode,
             dialogId());
    return false;
}

void SipSession::reusedContent(std::string& body, std::string& contentType) const {
    const bool sent = (state_ == kSessionInviting || state_ == kSessionReInviting) && inviting_;
    const bool received = (state_ == kSessionInvited || state_ == kSessionReInvited) && invited_;
    if (sent && !inviting_->body.empty()) {
        body = inviting_->body;
        contentType = inviting_->contentType;
    } else if (received && !invited_->body.empty()) {
        body = invited_->body;
        contentType = invited_->contentType;
    } else {
        body = localBody_;
        contentType = localContentType_;
    }
}

void SipSession::takeUpdate(const SipMessageExt& targetSource, const std::string& body,
                            const std::string& contentType) {
    const auto take = [&](SipDialogInfo& info, std::string& takenBody, std::string& takenType) {
        // A target refresh (RFC 3311 section 5.1); a Contact that cannot be used keeps the target.
        if (!info.takeTargetAndRoutes(targetSource, false))
            logPrint(MIN, "SipSession::takeUpdate. Unusable Contact, id=%d.\n", dialogId());
        if (body.empty()) return;
        takenBody = body;
        takenType = contentType;
    };
    if (inviting_ && (state_ == kSessionInviting || state_ == kSessionReInviting))
        take(*inviting_, inviting_->body, inviting_->contentType);
    if (invited_ && (state_ == kSessionInvited || state_ == kSessionReInvited))
        take(*invited_, invited_->body, invited_->contentType);
    if (state_ == kSessionIdle) return;
    std::string ignoredBody;
    std::string ignoredType;
    take(dialog_.info(), ignoredBody, ignoredType);
    if (!body.empty()) setLocalContent(body, contentType);
}

void SipSession::refuseUnanswered(int statusCode) {
    SessionResponse refusal;
    refusal.statusCode = statusCode;
    if (const std::unique_ptr<UpdatedSipSessionData> update = std::move(updated_))
        sendKeptResponse(*update, refusal, {}, "refuseUnanswered");
    refusal.statusCode = 500;
    if (const std::unique_ptr<InfoedSipSessionData> info = std::move(infoed_))
        sendKeptResponse(*info, refusal, {}, "refuseUnanswered");
    // RFC 3262 section 3: a PRACK of an INVITE that has ended acknowledges nothing.
    refusal.statusCode = 481;
    if (const std::unique_ptr<AnsweredSipSessionData> prack = std::move(prAcked_))
        sendKeptResponse(*prack, refusal, {}, "refuseUnanswered");
}

}  // namespace kel_sip
