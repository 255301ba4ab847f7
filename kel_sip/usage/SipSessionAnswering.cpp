// The answering side of an INVITE session (RFC 3261 sections 13.3, 14.2, 15.1.2): an INVITE or
// re-INVITE received is checked and reported, the user agent answers it through
// respondSession, a 2xx is sent again from T1 doubling up to T2 until its ACK comes, and a
// call whose ACK never comes is ended with BYE after 64*T1. CANCEL and BYE end an INVITE not
// answered yet with 487.
#include <algorithm>
#include <cctype>
#include <climits>
#include <optional>
#include <string>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SDP.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipParseException.h"
#include "kel_sip/syntax/SipStrList.h"
#include "kel_sip/usage/SipSession.h"
#include "kel_sip/usage/SipSessionController.h"
#include "kel_sip/usage/SipSessionDialog.h"
#include "kel_util/Log.h"
#include "kel_util/Random.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

// RFC 3261 section 25.1: an option tag is a token.
bool isOptionTag(std::string_view text) {
    constexpr std::string_view kMarks = "-.!%*_+`'~";
    if (text.empty()) return false;
    return std::all_of(text.begin(), text.end(), [&](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x80 && std::isalnum(u) != 0) || kMarks.find(c) != std::string_view::npos;
    });
}

// Every option tag of every value of kind (Require, Supported); false when one is no token.
bool readOptionTags(SipMessageExt& message, int kind, SipStrList& tags) {
    using Position = HeaderListBase::Position;
    for (const std::string* value = message.getHeader(kind, Position::First); value != nullptr;
         value = message.getHeader(kind, Position::Next)) {
        SipStrList part;
        try {
            part.parse(value->data(), static_cast<int>(value->size()), true);
        } catch (const SipParseException&) {
            return false;
        }
        for (const std::string& tag : part.getValues()) {
            if (!isOptionTag(tag)) return false;
            tags.add(tag);
        }
    }
    return true;
}

// The body and type a response to INVITE carries.
struct ResponseBody {
    std::string body;
    std::string contentType;
};

ResponseBody bodyOf(const SessionResponse& response, const std::string& localBody, const std::string& localType) {
    ResponseBody chosen;
    chosen.body = response.reuseLocalContent ? localBody : std::string(response.body);
    if (!response.contentType.empty()) {
        chosen.contentType = response.contentType;
    } else {
        chosen.contentType = localType.empty() ? "application/sdp" : localType;
    }
    return chosen;
}

bool isAnswering(int state) { return state == kSessionInvited || state == kSessionReInvited; }

bool isAwaitingAck(int state) { return state == kSessionInvitedConfirmed || state == kSessionReInvitedConfirmed; }

}  // namespace

bool SipSession::onReceiveInvite(SipMessageExt& request, int serverTransactionId) {
    if (state_ == kSessionIdle) return onReceiveInvite_(request, serverTransactionId);
    if (state_ == kSessionAcknowledged) return onReceiveReInvite(request, serverTransactionId);
    return onReceiveReInviteCollision(request, serverTransactionId);
}

bool SipSession::onReceiveInvite_(SipMessageExt& request, int serverTransactionId) {
    const bool first = state_ == kSessionIdle;
    auto data = std::make_unique<InvitedSipSessionData>();
    static_cast<SipDialogInfo&>(*data) = dialog_.info();
    data->remoteSeqNo = request.cseq.getNumber();
    data->serverTransactionId = serverTransactionId;
    data->vias = request.vias;
    invited_ = std::move(data);
    if (first) {
        process100rel_ = dialog_.controller().getProcess100rel();
        relProcessType_ = dialog_.controller().getTerm100relProcessType();
        takeSessionTimerDefaults(true);
    }
    // A bad request is refused here, before the user agent hears of it (RFC 3261 section 8.2).
    if (!invited_->takeTargetAndRoutes(request, false)) return refuseInvite(400, "Invalid Contact");
    SipStrList required;
    if (!readOptionTags(request, SipHeader::Require, required)) return refuseInvite(400, "Invalid Require");
    SDP offer;
    bool badSdp = false;
    request.getSdp(offer, badSdp);
    if (badSdp) return refuseInvite(400, "Invalid SDP");
    // Process type 0: reliable provisional responses are not sent (RFC 3262 section 4).
    if (required.contains("100rel") && process100rel_ && relProcessType_ == 0) return refuseInvite(420, "100rel");
    SipStrList supported;
    // A Supported list that does not parse names nothing this side could rely on.
    if (!readOptionTags(request, SipHeader::Supported, supported)) supported.clear();
    invited_->peer100rel = required.contains("100rel") ? 2 : supported.contains("100rel") ? 1 : 0;
    invited_->relProcessType = relProcessType_;
    if (const std::optional<bool> refused = checkSessionTimerRequest(request)) return *refused;
    state_ = first ? kSessionInvited : kSessionReInvited;
    if (report(first ? kEventInvited : kEventReInvited, &request, "onReceiveInvite_")) return true;
    // The user agent did not take it: the controller answers 500 and nothing waits for an answer.
    invited_.reset();
    state_ = first ? kSessionIdle : kSessionAcknowledged;
    return false;
}

bool SipSession::refuseInvite(int statusCode, const char* what, int minSE) {
    logPrint(MIN, "SipSession::onReceiveInvite_. Refused, StatusCode=%d, [%s], SipSessionState=[%s], id=%d.\n",
             statusCode, what, getStateString(), dialogId());
    SessionResponse refusal;
    refusal.statusCode = statusCode;
    HeaderList reason;
    if (statusCode == 420) {
        refusal.unsupported = what;
    } else if (statusCode == 422) {
        refusal.minSE = minSE;
    } else {
        reason.addHeader(SipHeader::ReasonPhrase, what);
        refusal.headers = &reason;
    }
    const bool sent = sendInviteError(refusal);
    invited_.reset();
    return sent;
}

std::optional<bool> SipSession::takeOutOfOrder(const SipMessageExt& request, int serverTransactionId) {
    const int seqNo = request.cseq.getNumber();
    const int last = dialog_.info().remoteSeqNo;
    if (seqNo > last || dialog_.controller().getSkipSeqNoChecks()) return std::nullopt;
    logPrint(MIN, "SipSession::onReceiveReInvite. CSeq=%d not above %d, SipSessionState=[%s], id=%d.\n", seqNo, last,
             getStateString(), dialogId());
    if (seqNo < last) return answer(request, serverTransactionId, 500);
    // A retransmission in a transaction of its own: its server transaction would otherwise wait
    // for an answer for ever.
    dialog_.deleteServerTransaction(serverTransactionId);
    return true;
}

bool SipSession::answer(const SipMessageExt& request, int serverTransactionId, int statusCode) {
    const std::string& localTag = asDialog().dialogId().localTag;
    if (dialog_.sendResponseFromRequest(serverTransactionId, request, statusCode, nullptr, localTag.c_str()))
        return true;
    logPrint(MIN, "SipSession::answer. Failed sendResponseFromRequest, StatusCode=%d, id=%d.\n", statusCode,
             dialogId());
    return false;
}

bool SipSession::onReceiveReInvite(SipMessageExt& request, int serverTransactionId) {
    if (const std::optional<bool> done = takeOutOfOrder(request, serverTransactionId)) return *done;
    const bool taken = onReceiveInvite_(request, serverTransactionId);
    // The peer's re-INVITE, once taken, goes first: ours waits until this one has ended. One
    // refused before the user agent heard of it leaves our retry to its timer.
    if (state_ == kSessionReInvited) stopTimer(kTimerReInvitePending, reInvitePendingTimer_);
    return taken;
}

bool SipSession::onReceiveReInviteCollision(SipMessageExt& request, int serverTransactionId) {
    if (const std::optional<bool> done = takeOutOfOrder(request, serverTransactionId)) return *done;
    logPrint(MIN,
             "SipSession::onReceiveReInviteCollision. Received re-Invite while other Invite transaction running, "
             "SipSessionState=[%s], id=%d.\n",
             getStateString(), dialogId());
    // RFC 3261 section 14.2.
    return answer(request, serverTransactionId, 491);
}

bool SipSession::respondSession(const SessionResponse& response) {
    const int code = response.statusCode;
    if (code > 299) return sendInviteErrorResponse(response);
    if (code == 100) return sendInviteResponseTrying(response);
    if (code > 100 && code < 200) return sendInviteResponseProvisional(response);
    if (code >= 200) return sendInviteResponseSuccessful(response);
    logPrint(MIN, "SipSession::sendInviteResponse. Invalid StatusCode=%d, SipSessionState=[%s], id=%d.\n", code,
             getStateString(), dialogId());
    return false;
}

std::unique_ptr<SipMessageExt> SipSession::createInviteResponse(const SessionResponse& response,
                                                                const std::string& body,
                                                                const std::string& contentType) {
    if (response.contact != nullptr) {
        dialog_.info().localContact = *response.contact;
        invited_->localContact = *response.contact;
    }
    const std::string phrase(response.reasonPhrase);
    std::unique_ptr<SipMessageExt> message =
        dialog_.createResponse(invited_->vias, "INVITE", invited_->remoteSeqNo, response.statusCode,
                               phrase.empty() ? nullptr : phrase.c_str());
    if (!body.empty()) {
        message->setBody(body.data(), static_cast<int>(body.size()));
        message->contentType = contentType;
    }
    if (response.headers != nullptr) message->addHeaders(*response.headers);
    return message;
}

bool SipSession::sendInviteResponse(const SessionResponse& response, const char* operation,
                                    std::unique_ptr<SipMessageExt>* sent,
                                    const std::function<void(SipMessageExt&)>& decorate) {
    if (!isAnswering(state_)) return refuse(operation);
    const ResponseBody content = bodyOf(response, localBody_, localContentType_);
    std::unique_ptr<SipMessageExt> message = createInviteResponse(response, content.body, content.contentType);
    if (decorate) decorate(*message);
    if (!dialog_.sendResponse(*message)) {
        logPrint(MIN, "SipSession::%s. Failed sendResponse, StatusCode=%d, id=%d.\n", operation, response.statusCode,
                 dialogId());
        return false;
    }
    if (sent != nullptr) *sent = std::move(message);
    return true;
}

bool SipSession::sendInviteResponseTrying(const SessionResponse& response) {
    return sendInviteResponse(response, "sendInviteResponseTrying", nullptr);
}

bool SipSession::sendInviteResponseSuccessful(const SessionResponse& response) {
    if (state_ == kSessionInvited && invited_->waitingPrack) {
        if (!dialog_.controller().getSend2xxBeforePrAck()) {
            logPrint(MIN,
                     "SipSession::sendInviteResponseSuccessful. Sending INVITE response, while Waiting for PRACK, "
                     "StatusCode=%d, SipSessionState=[%s], id=%d.\n",
                     response.statusCode, getStateString(), dialogId());
            return false;
        }
        stopReliableTimers();
    }
    std::unique_ptr<SipMessageExt> sent;
    const bool sentReliable = invited_ != nullptr && invited_->sentReliable;
    SessionTimerValues sessionTimer;
    const auto decorate = [&](SipMessageExt& message) {
        addAllow(message, sentReliable);
        sessionTimer = sessionTimer_.addSuccessHeaders(response.sessionTimer, invited_->sessionTimer, message);
    };
    if (!sendInviteResponse(response, "sendInviteResponseSuccessful", &sent, decorate)) return false;
    sessionTimer_.takeSent(sessionTimer);
    const bool first = state_ == kSessionInvited;
    // The dialog takes the INVITE's remote target and CSeq (RFC 3261 section 12.1.1).
    dialog_.adoptInfo(*invited_);
    if (first) dialog_.setState(kDialogConfirmed);
    const ResponseBody content = bodyOf(response, localBody_, localContentType_);
    if (!content.body.empty()) setLocalContent(content.body, content.contentType);
    finalResponse_ = std::move(sent);
    state_ = first ? kSessionInvitedConfirmed : kSessionReInvitedConfirmed;
    const int t1 = dialog_.controller().getTimerT1();
    finalResponseInterval_ = t1;
    startTimerMilliseconds(kTimerFinalResponseRetry, t1, finalResponseTimer_);
    startTimerMilliseconds(kTimerAckWait, static_cast<int>(std::min<long long>(64LL * t1, INT_MAX)), ackWaitTimer_);
    procSessionTimer();
    return report(first ? kEventSentInviteFinalResponse : kEventSentReInviteFinalResponse, finalResponse_.get(),
                  "sendInviteResponseSuccessful");
}

bool SipSession::sendInviteErrorResponse(const SessionResponse& response) {
    if (!isAnswering(state_)) return refuse("sendInviteErrorResponse");
    if (response.statusCode < 300 || response.statusCode > 699) {
        logPrint(MIN, "SipSession::sendInviteErrorResponse. Invalid StatusCode=%d, SipSessionState=[%s], id=%d.\n",
                 response.statusCode, getStateString(), dialogId());
        return false;
    }
    if (!sendInviteError(response)) return false;
    // An UPDATE, INFO or PRACK of the INVITE not answered yet ends with it.
    if (state_ == kSessionInvited) refuseUnanswered(response.statusCode);
    return endInvited(state_ == kSessionInvited, kEventSentInviteErrorResponse, kEventSentReInviteErrorResponse,
                      nullptr, "sendInviteErrorResponse");
}

bool SipSession::endInvited(bool first, int firstEvent, int reEvent, const SipMessageExt* message,
                            const char* operation) {
    stopReliableTimers();
    invited_.reset();
    if (first) {
        state_ = kSessionIdle;
        return report(firstEvent, message, operation);
    }
    state_ = kSessionAcknowledged;
    return reportAcknowledged(reEvent, message, operation);
}

bool SipSession::sendInviteError(const SessionResponse& response) {
    const ResponseBody content = bodyOf(response, localBody_, localContentType_);
    std::unique_ptr<SipMessageExt> message = createInviteResponse(response, content.body, content.contentType);
    const int code = response.statusCode;
    if (code == 420 && !response.unsupported.empty()) message->addHeader(SipHeader::Unsupported, response.unsupported);
    if (code == 422 && response.minSE > 0) message->addHeader(SipHeader::MinSE, std::to_string(response.minSE));
    if (code == 500 && dialog_.controller().getRetryAfterOn500()) {
        // RFC 3261 section 14.2: the peer may try again after a random 1 to 10 seconds.
        message->addHeader(SipHeader::RetryAfter, std::to_string(1 + kel_util::randomUInt32() % 10));
    }
    if (dialog_.sendResponse(*message)) return true;
    logPrint(MIN, "SipSession::sendInviteErrorResponse. Failed sendResponse, StatusCode=%d, id=%d.\n", code,
             dialogId());
    return false;
}

bool SipSession::sendRequestTerminated() {
    SessionResponse terminated;
    terminated.statusCode = 487;
    return sendInviteError(terminated);
}

bool SipSession::onReceiveCancel(SipMessageExt& request, int serverTransactionId) {
    // A re-INVITE is not cancelled here: its CANCEL is refused and the re-INVITE stays.
    if (state_ != kSessionInvited) return refuse("onReceiveCancel");
    answer(request, serverTransactionId, 200);
    sendRequestTerminated();
    stopTimers();
    invited_.reset();
    state_ = kSessionIdle;
    refuseUnanswered(500);
    return report(kEventCanceled, &request, "onReceiveCancel");
}

bool SipSession::onReceiveAck(const SipMessageExt& request) {
    // A repeated ACK after the first one.
    if (state_ == kSessionAcknowledged) return checkReInvitePending();
    if (!isAwaitingAck(state_)) return refuse("onReceiveAck");
    if (request.cseq.getNumber() != invited_->remoteSeqNo) {
        logPrint(MIN, "SipSession::onReceiveAck. Invalid CSeq, Method=[ACK], SipSessionState=[%s], id=%d.\n",
                 getStateString(), dialogId());
        return true;
    }
    const bool first = state_ == kSessionInvitedConfirmed;
    stopFinalResponseTimers();
    finalResponse_.reset();
    invited_.reset();
    state_ = kSessionAcknowledged;
    return reportAcknowledged(first ? kEventAcked : kEventReAcked, &request, "onReceiveAck");
}

bool SipSession::onFinalResponseTimeout(int timerName) {
    if (!isAwaitingAck(state_) || !finalResponse_) {
        logPrint(MIN, "SipSession::onTimeout. Invalid timer, TimerName=%d, SipSessionState=[%s], id=%d.\n", timerName,
                 getStateString(), dialogId());
        return false;
    }
    if (timerName == kTimerFinalResponseRetry) {
        finalResponseTimer_ = false;
        // RFC 3261 section 13.3.1.4: T1, doubled at each retransmission up to T2.
        finalResponseInterval_ = static_cast<int>(
            std::min<long long>(2LL * finalResponseInterval_, dialog_.controller().getTimerT2()));
        if (!dialog_.sendResponse(*finalResponse_))
            logPrint(MIN, "SipSession::onTimeout. Failed to resend final response, id=%d.\n", dialogId());
        startTimerMilliseconds(kTimerFinalResponseRetry, finalResponseInterval_, finalResponseTimer_);
        return true;
    }
    ackWaitTimer_ = false;
    logPrint(MIN, "SipSession::onTimeout. No ACK for the final response, ending the call, id=%d.\n", dialogId());
    stopFinalResponseTimers();
    finalResponse_.reset();
    const bool ended = sendBye(nullptr);
    return report(kEventAckWaitingTimeout, nullptr, "onTimeout") && ended;
}

bool SipSession::onResponseTransportError(const SipMessageExt& response) {
    // A response to INVITE that cannot reach the peer ends the INVITE being answered; those of
    // responses to UPDATE and INFO are reported, of other requests they change nothing.
    const int method = response.cseq.getMethodKind();
    if (method == SipMethod::Update)
        return report(kEventUpdateResponseTransportError, &response, "onResponseTransportError");
    if (method == SipMethod::Info)
        return report(kEventInfoResponseTransportError, &response, "onResponseTransportError");
    const bool answeringInvite = isAnswering(state_) || isAwaitingAck(state_);
    if (response.cseq.getMethodKind() != SipMethod::Invite || !answeringInvite)
        return refuseMethod("onResponseTransportError", response);
    const bool first = state_ == kSessionInvited || state_ == kSessionInvitedConfirmed;
    stopFinalResponseTimers();
    finalResponse_.reset();
    if (first) refuseUnanswered(500);
    return endInvited(first, kEventInviteResponseTransportError, kEventReInviteResponseTransportError, &response,
                      "onResponseTransportError");
}

void SipSession::stopFinalResponseTimers() {
    stopTimer(kTimerFinalResponseRetry, finalResponseTimer_);
    stopTimer(kTimerAckWait, ackWaitTimer_);
}

}  // namespace kel_sip
