#include "kel_sip/usage/SipSession.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "kel_sip/syntax/SDP.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipParseException.h"
#include "kel_sip/usage/SessionBody.h"
#include "kel_sip/usage/SipSessionController.h"
#include "kel_sip/usage/SipSessionDialog.h"
#include "kel_util/HeaderField.h"
#include "kel_util/Log.h"
#include "kel_util/Random.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

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

// How often a re-INVITE refused with 491 is sent again: a peer that refuses every one does not
// keep the two sides re-inviting for ever.
constexpr int kMaxReInviteRetries = 3;

// States that have a dialog to end with BYE (2xx received or sent, and after).
bool hasCall(int state) {
    return state == kSessionInvitingConfirmed ||
           (state >= kSessionInvitedConfirmed && state <= kSessionReInvitedConfirmed);
}

}  // namespace

int glareRetryDelay(bool ownsCallId) {
    // Steps of 10 ms: 2.1 to 4 s for the owner of the Call-ID, 0 to 2 s for the other side.
    const int first = ownsCallId ? 210 : 0;
    const int steps = ownsCallId ? 400 - 210 + 1 : 200 + 1;
    return (first + static_cast<int>(kel_util::randomUInt32() % static_cast<std::uint32_t>(steps))) * 10;
}

ReInviteParam::ReInviteParam(const InviteOrder& order)
    : body_(order.body),
      reuseLocalContent_(order.reuseLocalContent),
      contentType_(order.contentType),
      inviteTimeout_(order.inviteTimeout),
      localAddress_(order.localAddress),
      remoteAddress_(order.remoteAddress),
      sessionTimer_(order.sessionTimer),
      sessionRefresh_(order.sessionRefresh) {
    if (order.headers != nullptr) headers_ = *order.headers;
    if (order.peer != nullptr) peer_ = *order.peer;
}

InviteOrder ReInviteParam::order() const {
    InviteOrder order;
    order.body = body_;
    order.reuseLocalContent = reuseLocalContent_;
    order.contentType = contentType_;
    order.headers = headers_ ? &*headers_ : nullptr;
    order.peer = peer_ ? &*peer_ : nullptr;
    order.inviteTimeout = inviteTimeout_;
    order.localAddress = localAddress_;
    order.remoteAddress = remoteAddress_;
    order.sessionTimer = sessionTimer_;
    order.sessionRefresh = sessionRefresh_;
    return order;
}

SipSession::SipSession(SipSessionDialog& dialog) : dialog_(dialog) {}

SipSession::~SipSession() = default;

int SipSession::dialogId() const { return dialog_.getId(); }

SipDialog& SipSession::asDialog() { return dialog_; }

const char* SipSession::getStateString() const {
    switch (state_) {
        case kSessionInviting: return invitingString(inviting_.get(), kInviting);
        case kSessionInvited: return invitedString(invited_.get(), kInvited);
        case kSessionReInviting: return invitingString(inviting_.get(), kReInviting);
        case kSessionReInvited: return invitedString(invited_.get(), kReInvited);
        default: return sessionStateString(state_);
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
    stopTimer(kTimerCancel, inviting_->cancelTimer);
}

void SipSession::stopTimers() {
    // The timers of the INVITE sent, of the reliable provisional and the 2xx sent, and the
    // re-INVITE's glare delay.
    if (inviting_) stopInvitingTimers();
    stopFinalResponseTimers();
    stopReliableTimers();
    stopTimer(kTimerReInvitePending, reInvitePendingTimer_);
    stopSessionTimers();
}

bool SipSession::isInviting() const {
    return (state_ == kSessionInviting || state_ == kSessionReInviting) && inviting_;
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
    if (state_ != kSessionIdle) return refuse("sendInvite");
    process100rel_ = dialog_.controller().getProcess100rel();
    allowText_ = order.allow;
    takeSessionTimerDefaults(false);
    if (!putInvite(order, kSessionInviting)) return false;
    ownsCallId_ = true;
    return report(kEventSentInvite, inviting_->invite.get(), "sendInvite");
}

bool SipSession::sendReInvite(const InviteOrder& order) {
    if (state_ >= kSessionReInviting && state_ <= kSessionReInvitedConfirmed) {
        logPrint(MIN, "SipSession::sendReInvite. Re-INVITE collision detected. SipSessionState=[%s], id=%d.\n",
                 getStateString(), dialogId());
        reInviteParam_ = std::make_unique<ReInviteParam>(order);
        reInviteRetries_ = 0;
        reInvitePending_ = true;
        return true;
    }
    if (state_ != kSessionAcknowledged) return refuse("sendReInvite");
    reInviteRetries_ = 0;
    return reInviteNow(std::make_unique<ReInviteParam>(order));
}

bool SipSession::reInviteNow(std::unique_ptr<ReInviteParam> param) {
    if (!putInvite(param->order(), kSessionReInviting)) return false;
    reInviteParam_ = std::move(param);
    return report(kEventSentReInvite, inviting_->invite.get(), "sendReInvite");
}

bool SipSession::reportAcknowledged(int event, const SipMessageExt* message, const char* operation) {
    const bool reported = report(event, message, operation);
    return checkReInvitePending() && reported;
}

bool SipSession::checkReInvitePending() {
    if (state_ != kSessionAcknowledged || !reInvitePending_ || reInvitePendingTimer_ || !reInviteParam_) return true;
    if (reInviteNow(std::make_unique<ReInviteParam>(*reInviteParam_))) return true;
    // The user agent was told the re-INVITE would go out: it learns that it did not.
    logPrint(MIN, "SipSession::checkReInvitePending. Failed to send the pending re-INVITE, id=%d.\n", dialogId());
    report(kEventReInvitingFailed, nullptr, "checkReInvitePending");
    return false;
}

void SipSession::scheduleReInviteRetry() {
    if (!reInviteParam_ || reInviteRetries_ >= kMaxReInviteRetries) return;
    ++reInviteRetries_;
    reInvitePending_ = true;
    const int delay = glareRetryDelay(ownsCallId_);
    logPrint(DBG, "SipSession::onReceiveResponseInviteFailure. Re-INVITE retry in %d ms, id=%d.\n", delay,
             dialogId());
    startTimerMilliseconds(kTimerReInvitePending, delay, reInvitePendingTimer_);
}

bool SipSession::putInvite(const InviteOrder& order, int state) {
    // A new INVITE replaces the re-INVITE that waited.
    stopTimer(kTimerReInvitePending, reInvitePendingTimer_);
    reInvitePending_ = false;
    SipDialogInfo& info = dialog_.info();
    const int seqNo = info.nextLocalSeqNo();
    if (seqNo < 0) return refuse("sendInvite");
    auto data = std::make_unique<InvitingSipSessionData>();
    static_cast<SipDialogInfo&>(*data) = info;
    std::unique_ptr<SipMessageExt> invite = dialog_.createRequest("INVITE", seqNo);
    replaceParty(invite->from, order.localAddress, "FromAddress", "LocalAddress", dialogId());
    replaceParty(invite->to, order.remoteAddress, "ToAddress", "RemoteAddress", dialogId());
    data->body = order.reuseLocalContent ? localBody_ : std::string(order.body);
    data->contentType = contentTypeOr(order.contentType, localContentType_);
    attachBody(*invite, data->body, data->contentType);
    if (order.headers != nullptr) {
        // A Route or Record-Route the caller gives replaces the dialog's.
        if (order.headers->hasHeader(SipHeader::Route)) invite->routes.clear();
        if (order.headers->hasHeader(SipHeader::RecordRoute)) invite->recordRoutes.clear();
        invite->addHeaders(*order.headers);
    }
    data->sessionTimer = sessionTimer_.addRequestHeaders(order.sessionTimer, *invite);
    // RFC 3262 section 4: 100rel is offered or required on the first INVITE only.
    if (state == kSessionInviting)
        data->relProcessType = reliableRules().addOfferHeaders(order.relProcessType, *invite);
    addAllow(*invite, data->relProcessType != 0);
    if (dialog_.credentials() != nullptr) dialog_.credentials()->addCredentials(*invite);
    const int transactionId = dialog_.sendRequestTo(*invite, order.peer, info.isStrictRouting());
    if (transactionId < 1) {
        logPrint(MIN, "SipSession::sendInvite. Failed sendRequestTo, result=%d, id=%d.\n", transactionId, dialogId());
        return false;
    }
    data->clientTransactionId = transactionId;
    data->invite = std::move(invite);
    inviting_ = std::move(data);
    inviteSeqNo_ = seqNo;
    ack_.reset();
    ackSent_ = false;
    autoRefresh_ = order.sessionRefresh;
    state_ = state;
    if (order.inviteTimeout > 0) startTimer(kTimerInvite, order.inviteTimeout, inviting_->inviteTimer);
    if (state != kSessionInviting) return true;
    if (order.noAnswerTimeout > 0) startTimer(kTimerNoAnswer, order.noAnswerTimeout, inviting_->noAnswerTimer);
    inviting_->progressTimeout = order.progressTimeout;
    return true;
}

bool SipSession::onReceiveResponse(SipMessageExt& response) {
    switch (response.cseq.getMethodKind()) {
        case SipMethod::Invite: return onInviteResponse(response);
        case SipMethod::Prack: return onPrAckResponse(response);
        case SipMethod::Update: return onUpdateResponse(response);
        case SipMethod::Info:
            // INFO sent with sendDialogRequest: the session keeps nothing of it.
            logPrint(MIN,
                     "SipSession::onReceiveResponseInfo. No InfoingSipSessionData, Method=[INFO], StatusCode=%d, "
                     "SipSessionState=[%s], id=%d.\n",
                     response.statusCode, getStateString(), dialogId());
            return false;
        default: return refuseMethod("onReceiveResponse", response);
    }
}

bool SipSession::onInviteResponse(SipMessageExt& response) {
    const int code = response.statusCode;
    const bool success = code >= 200 && code < 300;
    const bool answered = state_ == kSessionInvitingConfirmed || state_ == kSessionAcknowledged ||
                          state_ == kSessionReInvitingConfirmed;
    if (!isInviting() && !(success && answered)) return refuse("onReceiveResponse");
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
    const bool heldBack = inviting_->canceling && !inviting_->provisioned;
    inviting_->provisioned = true;
    if (!heldBack) return true;
    stopTimer(kTimerCancel, inviting_->cancelTimer);
    logPrint(DBG,
             "SipSession::onReceiveResponseInviteTrying. Not provisioned, set m_bCanceling [false] to send CANCEL "
             "Request.\n");
    inviting_->canceling = false;
    return sendCancel(nullptr);
}

bool SipSession::onProvisional(SipMessageExt& response) {
    if (inviting_->prackSent) {
        logPrint(DBG,
                 "SipSession::onReceiveResponseInviteProvisional.Sending PRACK provisioning response ignored, "
                 "Method=[INVITE], StatusCode=%d, SipSessionState=[%s], id=%d.\n",
                 response.statusCode, getStateString(), dialogId());
        return true;
    }
    ReceivedProvisional reliable;
    if (!takesReliable(response, reliable)) return true;
    const bool reInvite = state_ == kSessionReInviting;
    if (dialog_.getState() == kDialogPending) dialog_.setState(kDialogEarly);
    const bool tried = onTrying();
    stopTimer(kTimerProgress, inviting_->progressTimer);
    if (response.statusCode == 183 && dialog_.controller().getStopNoAnswerOn183Sdp() && !response.body.view().empty() &&
        kel_util::equalsIgnoreCase(response.contentType, kSessionContentType))
        stopTimer(kTimerNoAnswer, inviting_->noAnswerTimer);
    // A provisional response's Contact is a hint only: one that cannot be used keeps the target.
    // The route set of a confirmed dialog stays as it is (RFC 3261 section 12.2).
    if (!dialog_.info().takeTargetAndRoutes(response, !reInvite))
        logPrint(MIN, "SipSession::onReceiveResponseInviteProvisional. Unusable Contact or Record-Route, id=%d.\n",
                 dialogId());
    inviting_->proceeding = true;
    if (!reInvite && inviting_->provisionalToTag.empty()) inviting_->provisionalToTag = response.to.tag;
    // The user agent did not ask for a refresh and hears nothing of it.
    const bool reported = autoRefresh_ || report(reInvite ? kEventReInvitingProceeding : kEventInvitingProceeding,
                                                 &response, "onReceiveResponseInviteProvisional");
    if (inviting_->progressTimeout > 0)
        startTimer(kTimerProgress, inviting_->progressTimeout, inviting_->progressTimer);
    if (reliable.verdict != ReceivedProvisional::Accepted) return tried && reported;
    PrAckOrder prack;
    prack.rseq = reliable.rseq;
    prack.toTag = response.to.tag;
    const bool pracked = sendPrAck(prack);
    return tried && reported && pracked;
}

bool SipSession::onSuccess(SipMessageExt& response) {
    const bool canceled = inviting_->canceling;
    stopInvitingTimers();
    SDP offer;
    bool badSdp = false;
    response.getSdp(offer, badSdp);
    if (badSdp) return refuseSuccess(response, "unparsable session description");
    if (state_ == kSessionReInviting) return onReInviteSuccess(response);
    if (!response.hasHeader(SipHeader::Contact)) return refuseSuccess(response, "no Contact");
    if (!dialog_.confirm(response)) return refuseSuccess(response, "unusable Contact or Record-Route");
    dialog_.setCredentials(nullptr);
    if (!inviting_->body.empty()) setLocalContent(inviting_->body, inviting_->contentType);
    takeSessionTimerSuccess(response);
    inviting_.reset();
    state_ = kSessionInvitingConfirmed;
    if (canceled) return endCanceledCall();
    procSessionTimer();
    return report(kEventInvitingConfirmed, &response, "onReceiveResponseInviteSuccessful");
}

bool SipSession::onReInviteSuccess(SipMessageExt& response) {
    // A target refresh (RFC 3261 section 12.2.1.2); a Contact that cannot be used keeps the target.
    if (!dialog_.info().takeTargetAndRoutes(response, false))
        logPrint(MIN, "SipSession::onReceiveResponseInviteSuccessful. Unusable Contact, id=%d.\n", dialogId());
    if (!inviting_->body.empty()) setLocalContent(inviting_->body, inviting_->contentType);
    takeSessionTimerSuccess(response);
    inviting_.reset();
    state_ = kSessionReInvitingConfirmed;
    procSessionTimer();
    if (std::exchange(autoRefresh_, false)) return sendAck({});
    return report(kEventReInvitingConfirmed, &response, "onReceiveResponseInviteSuccessful");
}

bool SipSession::endCanceledCall() {
    logPrint(DBG, "SipSession::onReceiveResponseInviteSuccessful. Canceled, sending ACK and BYE, id=%d.\n",
             dialogId());
    const bool acked = sendAck({});
    return sendBye(nullptr) && acked;
}

bool SipSession::refuseSuccess(SipMessageExt& response, const char* why) {
    logPrint(MIN, "SipSession::onReceiveResponseInviteSuccessful. Ending the call, %s, StatusCode=%d, id=%d.\n", why,
             response.statusCode, dialogId());
    const bool reInvite = state_ == kSessionReInviting;
    if (!reInvite) {
        // The ACK and BYE go to the target the INVITE went to, in the dialog the 2xx names.
        asDialog().dialogId().remoteTag = response.to.tag;
        dialog_.setState(kDialogConfirmed);
    }
    inviting_.reset();
    state_ = reInvite ? kSessionReInvitingConfirmed : kSessionInvitingConfirmed;
    // The call ends: a re-INVITE that waited does not go out between the ACK and the BYE.
    reInvitePending_ = false;
    const bool acked = sendAck({});
    const bool ended = sendBye(nullptr);
    return report(reInvite ? kEventReInvitingFailed : kEventInvitingFailed, &response,
                  "onReceiveResponseInviteSuccessful") &&
           acked && ended;
}

bool SipSession::onRepeatedSuccess(const SipMessageExt& response) {
    if (state_ != kSessionAcknowledged) {
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

bool SipSession::onFailure(SipMessageExt& response) {
    if (state_ == kSessionReInviting && response.statusCode == 491) scheduleReInviteRetry();
    return endInvite(kEventInvitingFailed, kEventReInvitingFailed, &response);
}

bool SipSession::endInvite(int firstEvent, int reEvent, const SipMessageExt* message) {
    if (state_ == kSessionInviting) {
        stopTimers();
        inviting_.reset();
        state_ = kSessionIdle;
        refuseUnanswered(500);
        return report(firstEvent, message, "endInvite");
    }
    stopInvitingTimers();
    inviting_.reset();
    state_ = kSessionAcknowledged;
    // A refused refresh is not the user agent's: the session timer ends the call if none follows.
    if (std::exchange(autoRefresh_, false) && reEvent == kEventReInvitingFailed) return checkReInvitePending();
    return reportAcknowledged(reEvent, message, "endInvite");
}

bool SipSession::sendCancel(const HeaderList* headers) {
    if (!isInviting()) return refuse("sendCancel");
    InvitingSipSessionData& data = *inviting_;
    if (!data.provisioned) {
        // RFC 3261 section 9.1: no CANCEL before a provisional response; the first response
        // sends it (onTrying).
        logPrint(DBG, "SipSession::sendCancel. Not provisioned, not sending CANCEL, SipSessionState=[%s], id=%d.\n",
                 getStateString(), dialogId());
        stopTimer(kTimerInvite, data.inviteTimer);
        stopTimer(kTimerNoAnswer, data.noAnswerTimer);
        startTimerMilliseconds(kTimerCancel, dialog_.controller().getCancelTimeout(), data.cancelTimer);
        data.canceling = true;
        return true;
    }
    if (data.canceling) {
        logPrint(DBG, "SipSession::sendCancel. already sent CANCEL id=%d\n", dialogId());
        return true;
    }
    std::unique_ptr<SipMessageExt> cancel = data.invite->createCancel(true);
    if (!cancel) {
        logPrint(MIN, "SipSession::sendCancel. Failed createCancel, id=%d.\n", dialogId());
        return false;
    }
    if (headers != nullptr) cancel->addHeaders(*headers);
    const int result = dialog_.sendRequest(*cancel);
    if (result < 1) {
        logPrint(MIN, "SipSession::sendCancel. Failed sendRequest, result=%d, id=%d.\n", result, dialogId());
        return false;
    }
    stopTimer(kTimerNoAnswer, data.noAnswerTimer);
    startTimerMilliseconds(kTimerCancel, dialog_.controller().getCancelTimeout(), data.cancelTimer);
    data.canceling = true;
    return report(kEventSentCancel, cancel.get(), "sendCancel");
}

bool SipSession::sendAck(const SessionRequestContent& content) {
    if (state_ != kSessionInvitingConfirmed && state_ != kSessionReInvitingConfirmed) return refuse("sendAck");
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
    return reportAcknowledged(kEventSentAck, ack_.get(), "sendAck");
}

bool SipSession::sendBye(const HeaderList* headers) {
    if (!hasCall(state_)) return refuse("sendBye");
    // A re-INVITE not answered yet ends with the call: its transaction would otherwise wait for
    // an answer for ever.
    if (state_ == kSessionReInvited) sendRequestTerminated();
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
    refuseUnanswered(500);
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
        case kSessionInviting: return sendCancel(headers);
        case kSessionInvited: return sendInviteErrorResponse(reject);
        case kSessionReInvited: {
            // The re-INVITE is refused, then the call ended; a re-INVITE of ours that waited
            // does not go out between the two.
            reInvitePending_ = false;
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
    if (request.methodKind == SipMethod::Prack) return onReceivePrAck(request, serverTransactionId);
    if (request.methodKind == SipMethod::Update) return onReceiveUpdate(request, serverTransactionId);
    if (request.methodKind == SipMethod::Info) return onReceiveInfo(request, serverTransactionId);
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
    refuseUnanswered(500);
    return report(kEventReceivedBye, &request, "onReceiveBye");
}

bool SipSession::onTimeout(int timerName) {
    if (timerName == kTimerFinalResponseRetry || timerName == kTimerAckWait) return onFinalResponseTimeout(timerName);
    if (timerName == kTimerProvResponseRetry) return onProvResponseRetryTimer();
    if (timerName == kTimerPrAckWait) return onPrAckWaitTimer();
    const bool running = isInviting();
    if (running && timerName == kTimerInvite) return onInviteTimer();
    if (running && state_ == kSessionInviting && timerName == kTimerProgress && inviting_->provisioned) {
        inviting_->progressTimer = false;
        return report(kEventProgressTimeout, nullptr, "onTimeout");
    }
    if (running && state_ == kSessionInviting && timerName == kTimerNoAnswer) return onNoAnswerTimer();
    if (running && timerName == kTimerCancel) return onCancelTimer();
    if (timerName == kTimerReInvitePending && reInvitePendingTimer_) return onReInvitePendingTimer();
    if (timerName == kTimerSessionTimer && sessionTimerRunning_) return onSessionTimer();
    if (timerName == kTimerSessionRefresh && refreshTimerRunning_) return onSessionRefreshTimer();
    logPrint(MIN, "SipSession::onTimeout. Invalid timer, TimerName=%d, SipSessionState=[%s], id=%d.\n", timerName,
             getStateString(), dialogId());
    return false;
}

bool SipSession::onInviteTimer() {
    inviting_->inviteTimer = false;
    if (inviting_->provisioned) {
        logPrint(DBG, "SipSession::onTimeout. SipSession provisioned, Timer Invite ignored, id=%d.\n", dialogId());
        return true;
    }
    dialog_.deleteClientTransaction(inviting_->clientTransactionId);
    return endInvite(kEventInviteTimeout, kEventInviteTimeout, nullptr);
}

bool SipSession::onNoAnswerTimer() {
    inviting_->noAnswerTimer = false;
    if (inviting_->provisioned) {
        const bool canceled = sendCancel(nullptr);
        return report(kEventNoAnswerTimeout, nullptr, "onTimeout") && canceled;
    }
    // Nothing came back to cancel: the call ends on this side, and a 2xx that still comes
    // finds no dialog and is ended with ACK and BYE by the controller.
    dialog_.deleteClientTransaction(inviting_->clientTransactionId);
    return endInvite(kEventNoAnswerTimeout, kEventNoAnswerTimeout, nullptr);
}

bool SipSession::onCancelTimer() {
    // No final response came after CANCEL (RFC 3261 section 9.1 leaves the wait to us).
    inviting_->cancelTimer = false;
    dialog_.deleteClientTransaction(inviting_->clientTransactionId);
    return endInvite(kEventCancelTimeout, kEventCancelTimeout, nullptr);
}

bool SipSession::onReInvitePendingTimer() {
    reInvitePendingTimer_ = false;
    // In another state the re-INVITE waits on until the session is Acknowledged again.
    if (state_ != kSessionAcknowledged || !reInvitePending_) return true;
    return reportAcknowledged(kEventReInvitePendingRetry, nullptr, "onTimeout");
}

bool SipSession::onClientTransactionTimeout(const SipMessageExt& request) {
    if (const std::optional<bool> done = onExtensionRequestEnd(request, true, "onClientTransactionTimeout"))
        return *done;
    return endInviteOn(request, kEventInvitingTransactionTimeout, kEventReInvitingTransactionTimeout,
                       "onClientTransactionTimeout");
}

bool SipSession::onRequestTransportError(const SipMessageExt& request) {
    if (const std::optional<bool> done = onExtensionRequestEnd(request, false, "onRequestTransportError")) return *done;
    return endInviteOn(request, kEventInvitingTransportError, kEventReInvitingTransportError,
                       "onRequestTransportError");
}

bool SipSession::endInviteOn(const SipMessageExt& request, int firstEvent, int reEvent, const char* operation) {
    if (request.methodKind != SipMethod::Invite) {
        // A CANCEL's or a BYE's: the Cancel timer or the session's end has it in hand.
        logPrint(MIN, "SipSession::%s. Invalid Method=[%s], SipSessionState=[%s], id=%d.\n", operation,
                 std::string(request.getMethodName()).c_str(), getStateString(), dialogId());
        return false;
    }
    if (!isInviting() || request.cseq.getNumber() != inviteSeqNo_) return refuse(operation);
    return endInvite(firstEvent, reEvent, &request);
}

bool SipSession::refuseMethod(const char* operation, const SipMessageExt& message) const {
    const std::string method(message.isRequest ? message.getMethodName() : message.cseq.getMethodName());
    logPrint(MIN, "SipSession::%s. Invalid Method=[%s], StatusCode=%d, SipSessionState=[%s], id=%d.\n", operation,
             method.c_str(), message.statusCode, getStateString(), dialogId());
    return false;
}

}  // namespace kel_sip
