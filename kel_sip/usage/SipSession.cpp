#include "kel_sip/usage/SipSession.h"

#include <algorithm>
#include <climits>

#include "kel_sip/syntax/SDP.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipParseException.h"
#include "kel_sip/usage/SipSessionController.h"
#include "kel_sip/usage/SipSessionDialog.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

constexpr const char* kDefaultContentType = "application/sdp";

// The strings of an INVITE sent (state 1 or 6), tested in the order canceling, provisioned,
// proceeding.
struct InvitingStrings {
    const char* plain;
    const char* canceling;
    const char* provisioned;
    const char* proceeding;
};
constexpr InvitingStrings kInviting{"Inviting", "Inviting (Canceling)", "Inviting (Provisoned)",
                                    "Inviting (Proceeding)"};
constexpr InvitingStrings kReInviting{"ReInviting", "ReInviting (Canceling)", "ReInviting (Provisoned)",
                                      "ReInviting (Proceeding)"};

// The strings of an INVITE received (state 3 or 8), proceeding tested first.
struct InvitedStrings {
    const char* plain;
    const char* proceeding;
    const char* waitingPrack;
};
constexpr InvitedStrings kInvited{"Invited", "Invited (Proceeding)", "Invited (Waiting PRACK)"};
constexpr InvitedStrings kReInvited{"ReInvited", "ReInvited (Proceeding)", "ReInvited (Waiting PRACK)"};

const char* invitingString(const InvitingSipSessionData* data, const InvitingStrings& strings) {
    if (data == nullptr) {
        logPrint(DBG, "SipSession::getStateString InvitingSipSessionData is null\n");
        return "NULL";
    }
    if (data->canceling) return strings.canceling;
    if (data->provisioned) return strings.provisioned;
    if (data->proceeding) return strings.proceeding;
    return strings.plain;
}

const char* invitedString(const InvitedSipSessionData* data, const InvitedStrings& strings) {
    if (data == nullptr) {
        logPrint(DBG, "SipSession::getStateString InvitedSipSessionData is null\n");
        return "NULL";
    }
    if (data->proceeding) return strings.proceeding;
    if (data->waitingPrack) return strings.waitingPrack;
    return strings.plain;
}

// States that have a dialog to end with BYE (2xx received or sent, and after).
bool hasCall(int state) {
    return state == kSessionInvitingConfirmed ||
           (state >= kSessionInvitedConfirmed && state <= kSessionReInvitedConfirmed);
}

void attachBody(SipMessageExt& message, std::string_view body, std::string_view contentType) {
    if (body.empty()) return;
    message.setBody(body.data(), static_cast<int>(body.size()));
    message.contentType = contentType.empty() ? kDefaultContentType : std::string(contentType);
}

}  // namespace

SipSession::SipSession(SipSessionDialog& dialog) : dialog_(dialog) {}

SipSession::~SipSession() = default;

int SipSession::dialogId() const { return dialog_.getId(); }

SipDialog& SipSession::asDialog() { return dialog_; }

const char* SipSession::getStateString() const {
    switch (state_) {
        case kSessionIdle: return "Idle";
        case kSessionInviting: return invitingString(inviting_.get(), kInviting);
        case kSessionInvitingConfirmed: return "Inviting Confirmed";
        case kSessionInvited: return invitedString(invited_.get(), kInvited);
        case kSessionInvitedConfirmed: return "Invited Confirmed";
        case kSessionAcknowledged: return "Acknowledged";
        case kSessionReInviting: return invitingString(inviting_.get(), kReInviting);
        case kSessionReInvitingConfirmed: return "ReInviting Confirmed";
        case kSessionReInvited: return invitedString(invited_.get(), kReInvited);
        case kSessionReInvitedConfirmed: return "ReInvited Confirmed";
        default: return "Unkown";
    }
}

void SipSession::setLocalContent(std::string_view body, std::string_view contentType) {
    localBody_ = body;
    localContentType_ = contentType;
}

bool SipSession::report(int event, const SipMessageExt* message, const char* operation) {
    if (dialog_.controller().onSipSessionEvent(event, *this, message, 0)) return true;
    logPrint(MIN, "SipSession::%s. Failed onSipSessionEvent, EventType=[%s], SipSessionState=[%s], id=%d.\n", operation,
             sessionEventString(event), getStateString(), dialogId());
    return false;
}

bool SipSession::refuse(const char* operation) const {
    logPrint(MIN, "SipSession::%s. Invalid SipSessionState=[%s], id=%d.\n", operation, getStateString(), dialogId());
    return false;
}

void SipSession::startTimer(int timerName, int seconds, bool& running) {
    const long long milliseconds = std::min<long long>(static_cast<long long>(seconds) * 1000, INT_MAX);
    startTimerMilliseconds(timerName, static_cast<int>(milliseconds), running);
}

void SipSession::startTimerMilliseconds(int timerName, int milliseconds, bool& running) {
    stopTimer(timerName, running);
    running = asDialog().startTimer(milliseconds, timerName);
}

void SipSession::stopTimer(int timerName, bool& running) {
    if (!running) return;
    asDialog().stopTimer(timerName);
    running = false;
}

void SipSession::stopInvitingTimers() {
    stopTimer(kTimerInvite, inviting_->inviteTimer);
    stopTimer(kTimerProgress, inviting_->progressTimer);
    stopTimer(kTimerNoAnswer, inviting_->noAnswerTimer);
}

void SipSession::stopTimers() {
    if (inviting_) stopInvitingTimers();
    stopFinalResponseTimers();
}

namespace {

// Replaces party (keeping its tag) by the address in text, when text is given and parses.
void replaceParty(SipFromTo& party, std::string_view text, const char* header, const char* given, int id) {
    if (text.empty()) return;
    SipFromTo value;
    try {
        value.parse(text.data(), static_cast<int>(text.size()), true);
    } catch (const SipParseException&) {
        logPrint(MIN, "SipSession::sendInvite. Failed to parse %s=[%.*s], id=%d.\n", given,
                 static_cast<int>(text.size()), text.data(), id);
        return;
    }
    value.tag = party.tag;
    party = value;
    logPrint(DBG, "SipSession::sendInvite. Change %s=[%.*s], id=%d.\n", header, static_cast<int>(text.size()),
             text.data(), id);
}

}  // namespace

bool SipSession::sendInvite(const InviteOrder& order) {
    // A re-INVITE (state Acknowledged) is not sent from here.
    if (state_ != kSessionIdle) return refuse("sendInvite");
    SipDialogInfo& info = dialog_.info();
    const int seqNo = info.nextLocalSeqNo();
    if (seqNo < 0) return refuse("sendInvite");
    auto data = std::make_unique<InvitingSipSessionData>();
    static_cast<SipDialogInfo&>(*data) = info;
    std::unique_ptr<SipMessageExt> invite = dialog_.createRequest("INVITE", seqNo);
    replaceParty(invite->from, order.localAddress, "FromAddress", "LocalAddress", dialogId());
    replaceParty(invite->to, order.remoteAddress, "ToAddress", "RemoteAddress", dialogId());
    data->body = order.reuseLocalContent ? localBody_ : std::string(order.body);
    data->contentType = !order.contentType.empty() ? std::string(order.contentType)
                        : !localContentType_.empty() ? localContentType_
                                                     : kDefaultContentType;
    attachBody(*invite, data->body, data->contentType);
    if (order.headers != nullptr) {
        // A Route or Record-Route the caller gives replaces the dialog's.
        if (order.headers->hasHeader(SipHeader::Route)) invite->routes.clear();
        if (order.headers->hasHeader(SipHeader::RecordRoute)) invite->recordRoutes.clear();
        invite->addHeaders(*order.headers);
    }
    if (dialog_.credentials() != nullptr) dialog_.credentials()->addCredentials(*invite);
    const int transactionId = dialog_.sendRequestTo(*invite, order.peer, info.isStrictRouting());
    if (transactionId < 1) {
        logPrint(MIN, "SipSession::sendInvite. Failed sendRequestTo, result=%d, id=%d.\n", transactionId, dialogId());
        return false;
    }
    data->clientTransactionId = transactionId;
    data->invite = std::move(invite);
    data->progressTimeout = order.progressTimeout;
    inviting_ = std::move(data);
    inviteSeqNo_ = seqNo;
    ack_.reset();
    ackSent_ = false;
    state_ = kSessionInviting;
    if (order.inviteTimeout > 0) startTimer(kTimerInvite, order.inviteTimeout, inviting_->inviteTimer);
    if (order.noAnswerTimeout > 0) startTimer(kTimerNoAnswer, order.noAnswerTimeout, inviting_->noAnswerTimer);
    return report(kEventSentInvite, inviting_->invite.get(), "sendInvite");
}

bool SipSession::onReceiveResponse(SipMessageExt& response) {
    if (response.cseq.getMethodKind() == SipMethod::Invite) return onInviteResponse(response);
    return refuseMethod("onReceiveResponse", response);
}

bool SipSession::onInviteResponse(SipMessageExt& response) {
    const int code = response.statusCode;
    const bool success = code >= 200 && code < 300;
    const bool answered = state_ == kSessionInvitingConfirmed || state_ == kSessionAcknowledged;
    if (state_ != kSessionInviting && !(success && answered)) return refuse("onReceiveResponse");
    if (response.cseq.getNumber() != inviteSeqNo_) {
        logPrint(MIN,
                 "SipSession::onReceiveResponse. Invalid SequenceNumber=%d, Method=[INVITE], StatusCode=%d, "
                 "SipSessionState=[%s], id=%d.\n",
                 response.cseq.getNumber(), code, getStateString(), dialogId());
        return false;
    }
    if (answered) return onRepeatedSuccess(response);
    if (code == 100) return onTrying();
    if (code < 200) return onProvisional(response);
    if (success) return onSuccess(response);
    return onFailure(response);
}

bool SipSession::onTrying() {
    stopTimer(kTimerInvite, inviting_->inviteTimer);
    inviting_->provisioned = true;
    return true;
}

bool SipSession::onProvisional(SipMessageExt& response) {
    if (inviting_->prackSent) {
        logPrint(DBG,
                 "SipSession::onReceiveResponseInviteProvisional.Sending PRACK provisioning response ignored, "
                 "Method=[INVITE], StatusCode=%d, SipSessionState=[%s], id=%d.\n",
                 response.statusCode, getStateString(), dialogId());
        return true;
    }
    if (dialog_.getState() == kDialogPending) dialog_.setState(kDialogEarly);
    onTrying();
    stopTimer(kTimerProgress, inviting_->progressTimer);
    // A provisional response's Contact is a hint only: one that cannot be used keeps the target.
    if (!dialog_.info().takeTargetAndRoutes(response, true))
        logPrint(MIN, "SipSession::onReceiveResponseInviteProvisional. Unusable Contact or Record-Route, id=%d.\n",
                 dialogId());
    inviting_->proceeding = true;
    if (inviting_->provisionalToTag.empty()) inviting_->provisionalToTag = response.to.tag;
    const bool reported = report(kEventInvitingProceeding, &response, "onReceiveResponseInviteProvisional");
    if (inviting_->progressTimeout > 0)
        startTimer(kTimerProgress, inviting_->progressTimeout, inviting_->progressTimer);
    return reported;
}

bool SipSession::onSuccess(SipMessageExt& response) {
    stopInvitingTimers();
    SDP offer;
    bool badSdp = false;
    response.getSdp(offer, badSdp);
    if (!response.hasHeader(SipHeader::Contact)) return refuseSuccess(response, "no Contact");
    if (badSdp) return refuseSuccess(response, "unparsable session description");
    if (!dialog_.confirm(response)) return refuseSuccess(response, "unusable Contact or Record-Route");
    dialog_.setCredentials(nullptr);
    if (!inviting_->body.empty()) setLocalContent(inviting_->body, inviting_->contentType);
    inviting_.reset();
    state_ = kSessionInvitingConfirmed;
    return report(kEventInvitingConfirmed, &response, "onReceiveResponseInviteSuccessful");
}

bool SipSession::refuseSuccess(SipMessageExt& response, const char* why) {
    logPrint(MIN, "SipSession::onReceiveResponseInviteSuccessful. Ending the call, %s, StatusCode=%d, id=%d.\n", why,
             response.statusCode, dialogId());
    // The ACK and BYE go to the target the INVITE went to, in the dialog the 2xx names.
    asDialog().dialogId().remoteTag = response.to.tag;
    dialog_.setState(kDialogConfirmed);
    inviting_.reset();
    state_ = kSessionInvitingConfirmed;
    const bool acked = sendAck({});
    const bool ended = sendBye(nullptr);
    return report(kEventInvitingFailed, &response, "onReceiveResponseInviteSuccessful") && acked && ended;
}

bool SipSession::onRepeatedSuccess(const SipMessageExt& response) {
    if (state_ == kSessionInvitingConfirmed) {
        logPrint(DBG,
                 "SipSession::onReceiveResponseInviteSuccessful. Already received final response, but ACK not sent, "
                 "ignored, StatusCode=%d, id=%d.\n",
                 response.statusCode, dialogId());
        return true;
    }
    if (!ack_) {
        logPrint(MIN, "SipSession::onReceiveResponseInviteSuccessful. No ACK to resend, id=%d.\n", dialogId());
        return false;
    }
    // The same ACK again (RFC 3261 section 13.2.2.4): its peer was chosen when it first went out.
    const int result = dialog_.sendRequest(*ack_);
    if (result < 0)
        logPrint(MIN, "SipSession::onReceiveResponseInviteSuccessful. Failed to resend ACK, id=%d.\n", dialogId());
    return result >= 0;
}

bool SipSession::onFailure(SipMessageExt& response) { return endInviting(kEventInvitingFailed, &response); }

bool SipSession::endInviting(int event, const SipMessageExt* message) {
    stopTimers();
    inviting_.reset();
    state_ = kSessionIdle;
    return report(event, message, "endInviting");
}

bool SipSession::sendAck(const SessionRequestContent& content) {
    // The ACK of a re-INVITE's 2xx (state ReInviting Confirmed) is not sent from here.
    if (state_ != kSessionInvitingConfirmed) return refuse("sendAck");
    if (ackSent_) {
        logPrint(MIN, "SipSession::sendAck. ACK already sent, SipSessionState=[%s], id=%d.\n", getStateString(),
                 dialogId());
        return false;
    }
    std::unique_ptr<SipMessageExt> ack = dialog_.createRequest("ACK", inviteSeqNo_);
    attachBody(*ack, content.body, content.contentType);
    if (content.headers != nullptr) ack->addHeaders(*content.headers);
    const int result = dialog_.sendRequestTo(*ack, nullptr, dialog_.info().isStrictRouting());
    if (result != 0) {
        logPrint(MIN, "SipSession::sendAck. Failed sendRequestTo, result=%d, id=%d.\n", result, dialogId());
        return false;
    }
    ackSent_ = true;
    state_ = kSessionAcknowledged;
    if (!content.body.empty()) setLocalContent(content.body, ack->contentType);
    ack_ = std::move(ack);
    return report(kEventSentAck, ack_.get(), "sendAck");
}

bool SipSession::sendBye(const HeaderList* headers) {
    if (!hasCall(state_)) return refuse("sendBye");
    const int seqNo = dialog_.info().nextLocalSeqNo();
    std::unique_ptr<SipMessageExt> bye;
    int result = -1;
    if (seqNo >= 0) {
        bye = dialog_.createRequest("BYE", seqNo);
        if (headers != nullptr) bye->addHeaders(*headers);
        if (dialog_.credentials() != nullptr) dialog_.credentials()->addCredentials(*bye);
        result = dialog_.sendRequestTo(*bye, nullptr, dialog_.info().isStrictRouting());
    }
    stopTimers();
    state_ = kSessionIdle;
    if (result < 1) {
        logPrint(MIN, "SipSession::sendBye. Failed sendRequestTo, result=%d, id=%d.\n", result, dialogId());
        return false;
    }
    return report(kEventSentBye, bye.get(), "sendBye");
}

bool SipSession::endSession(const HeaderList* headers, int rejectStatusCode) {
    SessionResponse reject;
    reject.statusCode = rejectStatusCode;
    reject.headers = headers;
    switch (state_) {
        case kSessionIdle:
            logPrint(DET, "SipSession::endSession. Session already end, id=%d.\n", dialogId());
            return true;
        case kSessionInviting:  // ended by CANCEL
            return refuse("endSession");
        case kSessionInvited: return sendInviteErrorResponse(reject);
        case kSessionReInvited: {
            // The re-INVITE is refused, then the call ended.
            const bool refused = sendInviteErrorResponse(reject);
            return sendBye(headers) && refused;
        }
        default: return sendBye(headers);
    }
}

bool SipSession::onReceiveRequest(SipMessageExt& request, int serverTransactionId) {
    if (request.methodKind == SipMethod::Ack) return onReceiveAck(request);
    if (request.methodKind == SipMethod::Bye) return onReceiveBye(request, serverTransactionId);
    if (request.methodKind == SipMethod::Invite) return onReceiveInvite(request, serverTransactionId);
    if (request.methodKind == SipMethod::Cancel) return onReceiveCancel(request, serverTransactionId);
    return refuseMethod("onReceiveRequest", request);
}

bool SipSession::onReceiveBye(SipMessageExt& request, int serverTransactionId) {
    if (!hasCall(state_)) return refuse("onReceiveBye");
    // The re-INVITE being answered ends with the call (RFC 3261 section 15.1.2).
    if (state_ == kSessionReInvited) sendRequestTerminated();
    const std::string& localTag = asDialog().dialogId().localTag;
    if (!dialog_.sendResponseFromRequest(serverTransactionId, request, 200, nullptr, localTag.c_str()))
        logPrint(MIN, "SipSession::onReceiveBye. Failed sendResponseFromRequest, id=%d.\n", dialogId());
    stopTimers();
    state_ = kSessionIdle;
    return report(kEventReceivedBye, &request, "onReceiveBye");
}

bool SipSession::onTimeout(int timerName) {
    if (timerName == kTimerFinalResponseRetry || timerName == kTimerAckWait) return onFinalResponseTimeout(timerName);
    const bool inviting = state_ == kSessionInviting && inviting_;
    if (inviting && timerName == kTimerInvite) {
        inviting_->inviteTimer = false;
        if (inviting_->provisioned) {
            logPrint(DBG, "SipSession::onTimeout. SipSession provisioned, Timer Invite ignored, id=%d.\n", dialogId());
            return true;
        }
        dialog_.deleteClientTransaction(inviting_->clientTransactionId);
        return endInviting(kEventInviteTimeout, nullptr);
    }
    if (inviting && timerName == kTimerProgress && inviting_->provisioned) {
        inviting_->progressTimer = false;
        return report(kEventProgressTimeout, nullptr, "onTimeout");
    }
    if (inviting && timerName == kTimerNoAnswer) {
        inviting_->noAnswerTimer = false;
        // No CANCEL goes out from here: the call ends on this side, and a 2xx that still comes
        // finds no dialog and is ended with ACK and BYE by the controller.
        dialog_.deleteClientTransaction(inviting_->clientTransactionId);
        return endInviting(kEventNoAnswerTimeout, nullptr);
    }
    logPrint(MIN, "SipSession::onTimeout. Invalid timer, TimerName=%d, SipSessionState=[%s], id=%d.\n", timerName,
             getStateString(), dialogId());
    return false;
}

bool SipSession::onClientTransactionTimeout(const SipMessageExt& request) {
    return endInvitingOn(request, kEventInvitingTransactionTimeout, "onClientTransactionTimeout");
}

bool SipSession::onRequestTransportError(const SipMessageExt& request) {
    return endInvitingOn(request, kEventInvitingTransportError, "onRequestTransportError");
}

bool SipSession::endInvitingOn(const SipMessageExt& request, int event, const char* operation) {
    if (request.methodKind == SipMethod::Invite && state_ == kSessionInviting) return endInviting(event, &request);
    return refuseMethod(operation, request);
}

bool SipSession::refuseMethod(const char* operation, const SipMessageExt& message) const {
    const std::string method(message.isRequest ? message.getMethodName() : message.cseq.getMethodName());
    logPrint(MIN, "SipSession::%s. Invalid Method=[%s], StatusCode=%d, SipSessionState=[%s], id=%d.\n", operation,
             method.c_str(), message.statusCode, getStateString(), dialogId());
    return false;
}

}  // namespace kel_sip
