// The INVITE session of one call (RFC 3261 sections 13 to 15): the state machine that sends the
// INVITE, follows its provisional and final responses, acknowledges a 2xx, answers a repeated
// 2xx with the ACK it kept, and ends the call with BYE; each step the user agent must know of
// is reported to the controller as a numbered SipSessionEvent.
//
// The calling side is here: INVITE, CANCEL (RFC 3261 section 9.1, held back until the first
// response), re-INVITE with the retry after a 491 (section 14.1), ACK and BYE. The answering side
// (INVITE and re-INVITE received, 2xx retransmitted until the ACK, CANCEL received) is in
// SipSessionAnswering.cpp, reliable provisional responses and PRACK (RFC 3262) in
// SipSessionReliable.cpp, UPDATE (RFC 3311) and INFO in SipSessionUpdate.cpp, the session
// timers (RFC 4028) in SipSessionTimer.cpp.
//
// Threads: touched only under the entry lock of its dialog.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/syntax/SipPeerAddress.h"
#include "kel_sip/usage/RSeqCounter.h"
#include "kel_sip/usage/ReliableProvisionalRules.h"
#include "kel_sip/usage/SessionTimerNegotiation.h"
#include "kel_sip/usage/SipSessionData.h"
#include "kel_sip/usage/SipSessionTypes.h"

namespace kel_sip {

class SipDialog;
class SipSessionDialog;

// What an INVITE carries and how long its answer may take.
struct InviteOrder {
    std::string_view body;
    bool reuseLocalContent = false;  // the session's local content instead of body
    std::string_view contentType;    // else the local content's, else "application/sdp"
    const HeaderList* headers = nullptr;  // a Route or Record-Route here replaces that list
    const SipPeerAddress* peer = nullptr;  // the next hop instead of the route's
    int inviteTimeout = 0;    // seconds until any response; 0 = none
    int noAnswerTimeout = 0;  // seconds until the final response; 0 = none; first INVITE only
    int progressTimeout = 0;  // seconds from each provisional to the next response; 0 = none;
                              // first INVITE only
    std::string_view localAddress;   // when given, the From of this INVITE only
    std::string_view remoteAddress;  // when given, the To of this INVITE only
    SessionTimerOverrides sessionTimer;  // this INVITE's session-timer values; unset ones the session's
    bool sessionRefresh = false;  // a refresh this side sends itself: its responses are not reported
    int relProcessType = 0;          // first INVITE: 100rel offered (1) or required (2) (RFC 3262)
    std::string_view allow;          // first INVITE: the call's Allow text while SetAllow is off
};

// A re-INVITE's order, kept so that it can go out later: after the INVITE transaction it
// collided with (RFC 3261 section 14.1), or again after a 491.
class ReInviteParam {
public:
    explicit ReInviteParam(const InviteOrder& order);
    // The same order; its views point into this.
    InviteOrder order() const;

private:
    std::string body_;
    bool reuseLocalContent_;
    std::string contentType_;
    std::optional<HeaderList> headers_;
    std::optional<SipPeerAddress> peer_;
    int inviteTimeout_;
    std::string localAddress_;
    std::string remoteAddress_;
    SessionTimerOverrides sessionTimer_;
    bool sessionRefresh_;
};

// The wait before a re-INVITE refused with 491 is sent again (RFC 3261 section 14.1), in
// milliseconds: 2100 to 4000 when this side chose the Call-ID, else 0 to 2000, in steps of 10.
int glareRetryDelay(bool ownsCallId);

// What an ACK or a BYE carries besides what the dialog gives it.
struct SessionRequestContent {
    std::string_view body;
    std::string_view contentType;  // "application/sdp" when empty
    const HeaderList* headers = nullptr;
};

// How the user agent answers the INVITE received.
struct SessionResponse {
    int statusCode = 0;
    std::string_view reasonPhrase;          // the code's own when empty
    const SipAddress* contact = nullptr;    // when given, the dialog's Contact from now on
    std::string_view body;
    bool reuseLocalContent = false;         // the session's local content instead of body
    std::string_view contentType;           // else the local content's, else "application/sdp"
    const HeaderList* headers = nullptr;
    std::string_view unsupported;           // 420: the option tag named in Unsupported
    int minSE = 0;                          // 422: the Min-SE value (seconds)
    std::optional<int> relProcessType;      // a provisional: replaces the session's 100rel type
    SessionTimerOverrides sessionTimer;     // 2xx: the session-timer values; unset ones the session's
};

// What a PRACK carries besides its RAck (RFC 3262 section 7.2).
struct PrAckOrder {
    std::int64_t rseq = -1;         // of the reliable provisional response acknowledged
    std::string_view toTag;         // the first provisional response's when empty
    std::string_view body;
    std::string_view contentType;   // else the INVITE's, else "application/sdp"
    const HeaderList* headers = nullptr;
};

// What an UPDATE carries (RFC 3311).
struct UpdateOrder {
    std::string_view body;
    bool reuseLocalContent = false;      // the session's local content instead of body
    std::string_view contentType;        // else the local content's, else "application/sdp"
    const HeaderList* headers = nullptr;
    SessionTimerOverrides sessionTimer;  // the session-timer values of this UPDATE (RFC 4028)
};

class SipSession {
public:
    explicit SipSession(SipSessionDialog& dialog);
    ~SipSession();
    SipSession(const SipSession&) = delete;
    SipSession& operator=(const SipSession&) = delete;

    int getState() const noexcept { return state_; }
    // "Idle", "Inviting (Provisoned)", "Acknowledged", ...; "NULL" when a state's transaction
    // data is missing.
    const char* getStateString() const;
    SipSessionDialog& dialog() noexcept { return dialog_; }
    const InvitingSipSessionData* inviting() const noexcept { return inviting_.get(); }
    const InvitedSipSessionData* invited() const noexcept { return invited_.get(); }
    // The body and type of the last offer or answer this side sent.
    const std::string& localBody() const noexcept { return localBody_; }
    const std::string& localContentType() const noexcept { return localContentType_; }
    void setLocalContent(std::string_view body, std::string_view contentType);

    // The first INVITE (state Idle). False, with the session still Idle, when it was not sent.
    bool sendInvite(const InviteOrder& order);
    // A re-INVITE (Acknowledged; the no-answer and progress time-outs are not used). While
    // another INVITE transaction runs (ReInviting to ReInvited Confirmed) it is kept and sent
    // once the session is Acknowledged again.
    bool sendReInvite(const InviteOrder& order);
    // CANCEL of the INVITE sent (Inviting, ReInviting); before any response it waits for the
    // first one (RFC 3261 section 9.1). The Cancel timer ends the INVITE when no final
    // response comes.
    bool sendCancel(const HeaderList* headers);
    // The ACK of the 2xx received (Inviting Confirmed, ReInviting Confirmed), with the
    // INVITE's CSeq (RFC 3261 section 13.2.2.4).
    bool sendAck(const SessionRequestContent& content);
    // BYE (RFC 3261 section 15.1.1), after a 487 to a re-INVITE not answered yet; the session
    // ends whether or not it went out.
    bool sendBye(const HeaderList* headers);
    // The user hangs up: CANCEL while Inviting, BYE in the states that have a dialog to end; an
    // INVITE received and not answered yet is refused with rejectStatusCode (a re-INVITE too,
    // before the BYE).
    bool endSession(const HeaderList* headers, int rejectStatusCode);
    // Answers the INVITE received (Invited, ReInvited): 100, a provisional response, a 2xx
    // (sent again until the ACK comes) or an error response (300-699).
    bool respondSession(const SessionResponse& response);

    // PRACK of a reliable provisional response (Inviting, after a provisional response); sent
    // by the session itself when Process100rel is on.
    bool sendPrAck(const PrAckOrder& order);
    // Answers the PRACK received (Invited); with Process100rel on the session answers 200 itself.
    bool sendPrAckResponse(const SessionResponse& response);
    // UPDATE in the early (Inviting, Invited) or confirmed (Acknowledged) dialog; one at a time
    // each way.
    bool sendUpdate(const UpdateOrder& order);
    // Answers the UPDATE received (200 to 699).
    bool sendUpdateResponse(const SessionResponse& response);
    // Answers the INFO received (200 to 699).
    bool sendInfoResponse(const SessionResponse& response);
    const UpdatingSipSessionData* updating() const noexcept { return updating_.get(); }
    const UpdatedSipSessionData* updated() const noexcept { return updated_.get(); }
    const InfoedSipSessionData* infoed() const noexcept { return infoed_.get(); }

    bool onReceiveRequest(SipMessageExt& request, int serverTransactionId);
    bool onReceiveResponse(SipMessageExt& response);
    bool onTimeout(int timerName);
    bool onClientTransactionTimeout(const SipMessageExt& request);
    bool onRequestTransportError(const SipMessageExt& request);
    bool onResponseTransportError(const SipMessageExt& response);

    // Stops the timers the state runs.
    void stopTimers();

    // The session-timer settings and what the last 2xx agreed (RFC 4028).
    const SessionTimerParams& sessionTimerParams() const noexcept { return sessionTimer_.params(); }
    // Starts the session timer and, when this side refreshes, the refresh timer anew from the
    // interval agreed; run after a 2xx is sent or received (also to UPDATE, once the
    // negotiation took its values).
    void procSessionTimer();

private:
    // Sends the INVITE of order and enters state (Inviting or ReInviting), without the event.
    bool putInvite(const InviteOrder& order, int state);
    // Sends the re-INVITE of param now and keeps param for a retry.
    bool reInviteNow(std::unique_ptr<ReInviteParam> param);
    // Once Acknowledged: the re-INVITE kept while another ran, unless its retry waits.
    bool checkReInvitePending();
    // Reports event of a step that left the session Acknowledged, then sends the re-INVITE
    // that waits, if any.
    bool reportAcknowledged(int event, const SipMessageExt* message, const char* operation);
    // A 491 to the re-INVITE: it is sent again after the glare delay, a few times at most.
    void scheduleReInviteRetry();
    bool isInviting() const;
    bool onInviteResponse(SipMessageExt& response);
    // A 100 or the provisioned part of a provisional: a CANCEL held back goes out now.
    bool onTrying();
    bool onProvisional(SipMessageExt& response);
    bool onSuccess(SipMessageExt& response);
    bool onReInviteSuccess(SipMessageExt& response);
    bool onRepeatedSuccess(const SipMessageExt& response);
    bool onFailure(SipMessageExt& response);
    // A 2xx this side cannot carry on with (no usable Contact, a bad session description):
    // acknowledged, so that the peer stops retransmitting, then ended with BYE.
    bool refuseSuccess(SipMessageExt& response, const char* why);
    // A 2xx after CANCEL was asked for: acknowledged, then ended with BYE (RFC 3261 section 15).
    bool endCanceledCall();
    bool onReceiveBye(SipMessageExt& request, int serverTransactionId);
    bool onReceiveAck(const SipMessageExt& request);

    // The answering side (SipSessionAnswering.cpp).
    bool onReceiveInvite(SipMessageExt& request, int serverTransactionId);
    bool onReceiveInvite_(SipMessageExt& request, int serverTransactionId);
    bool onReceiveReInvite(SipMessageExt& request, int serverTransactionId);
    bool onReceiveReInviteCollision(SipMessageExt& request, int serverTransactionId);
    bool onReceiveCancel(SipMessageExt& request, int serverTransactionId);
    // A re-INVITE whose CSeq is not above the peer's last (RFC 3261 section 12.2.2): a lower
    // one is answered 500, the same one dropped; the result then. None when it may be taken.
    std::optional<bool> takeOutOfOrder(const SipMessageExt& request, int serverTransactionId);
    // Answers request on its server transaction with the dialog's local tag.
    bool answer(const SipMessageExt& request, int serverTransactionId, int statusCode);
    // Refuses the INVITE being taken before it reaches the user agent (state unchanged): 420
    // naming the option tag what, 422 with minSE, or 400 with what as Reason-Phrase.
    bool refuseInvite(int statusCode, const char* what, int minSE = 0);
    bool sendInviteResponseTrying(const SessionResponse& response);
    bool sendInviteResponseProvisional(const SessionResponse& response);
    bool sendInviteResponseSuccessful(const SessionResponse& response);
    bool sendInviteErrorResponse(const SessionResponse& response);
    // Sends the error response; the state and events are the caller's.
    bool sendInviteError(const SessionResponse& response);
    // Sends a 1xx or 2xx in the answering states; sent, when given, receives it.
    // decorate, when given, adds what the response needs besides (100rel, Allow).
    bool sendInviteResponse(const SessionResponse& response, const char* operation,
                            std::unique_ptr<SipMessageExt>* sent,
                            const std::function<void(SipMessageExt&)>& decorate = {});
    // The response to the INVITE received with the contact, body and headers given.
    std::unique_ptr<SipMessageExt> createInviteResponse(const SessionResponse& response, const std::string& body,
                                                        const std::string& contentType);
    // The 487 of the INVITE received that a CANCEL or BYE ends.
    bool sendRequestTerminated();
    // The INVITE received ends without a call to carry on: the first one leaves the session
    // Idle with firstEvent, a re-INVITE Acknowledged with reEvent.
    bool endInvited(bool first, int firstEvent, int reEvent, const SipMessageExt* message, const char* operation);
    bool onFinalResponseTimeout(int timerName);
    void stopFinalResponseTimers();
    // The INVITE ends without its final response being taken: the first one leaves the
    // session Idle with firstEvent, a re-INVITE Acknowledged with reEvent.
    bool endInvite(int firstEvent, int reEvent, const SipMessageExt* message);

    // Session timers (SipSessionTimer.cpp).
    SessionLogTag logTag() const;
    // The controller's settings, when the session starts; answering, the process type too
    // (the calling side's comes with each INVITE).
    void takeSessionTimerDefaults(bool answering);
    // Checks the session-timer request of the INVITE received and keeps it; a request refused
    // (420, 422, 400) has been answered, and the result is that of the answer.
    std::optional<bool> checkSessionTimerRequest(SipMessageExt& request);
    // The 2xx received to the INVITE sent: the interval it agreed.
    void takeSessionTimerSuccess(SipMessageExt& response);
    void stopSessionTimers();
    bool onSessionTimer();
    bool onSessionRefreshTimer();
    // The refresh: an UPDATE without body or a re-INVITE with the local content (RFC 4028
    // section 7.4).
    bool sendSessionRefresh();
    // Checks the session-timer request of the UPDATE received; one refused (420, 422, 400) is
    // answered and the result is that of the answer.
    std::optional<bool> checkUpdateSessionTimer(UpdatedSipSessionData& update);

    // Reliable provisional responses and PRACK (SipSessionReliable.cpp).
    ReliableProvisionalRules reliableRules() const;
    // The 100rel verdict on a provisional response to the first INVITE: false when it is to be
    // ignored (an RSeq out of order).
    bool takesReliable(SipMessageExt& response, ReceivedProvisional& verdict);
    bool onReceivePrAck(SipMessageExt& request, int serverTransactionId);
    bool onPrAckResponse(const SipMessageExt& response);
    bool onProvResponseRetryTimer();
    bool onPrAckWaitTimer();
    void stopReliableTimers();
    // The Allow header (RFC 3261 section 20.5) of an INVITE, UPDATE or a 1xx/2xx to them.
    void addAllow(SipMessageExt& message, bool prackInUse) const;

    // UPDATE and INFO (SipSessionUpdate.cpp).
    bool onReceiveUpdate(SipMessageExt& request, int serverTransactionId);
    bool onReceiveInfo(SipMessageExt& request, int serverTransactionId);
    bool onUpdateResponse(SipMessageExt& response);
    // A time-out or transport error of a PRACK, UPDATE or INFO sent; none for other methods.
    std::optional<bool> onExtensionRequestEnd(const SipMessageExt& request, bool timeout, const char* operation);
    // A copy of request, with its transaction, to be answered later.
    void keepRequest(AnsweredSipSessionData& data, const SipMessageExt& request, int serverTransactionId);
    // Answers a kept request: its Vias, tags and CSeq, the body and headers response gives;
    // a 2xx to UPDATE also gets the Contact and Allow.
    // decorateSuccess, when given, adds to a 2xx to UPDATE what it needs besides (the session
    // timer).
    bool sendKeptResponse(const AnsweredSipSessionData& data, const SessionResponse& response,
                          const std::string& fallbackType, const char* operation,
                          const std::function<void(SipMessageExt&)>& decorateSuccess = {});
    // The body and type a response to UPDATE or INFO reuses: the INVITE data's, else the
    // local content.
    void reusedContent(std::string& body, std::string& contentType) const;
    // A final status code (200 to 699) for the answer to an UPDATE or INFO.
    bool isFinalAnswer(int statusCode, const char* operation) const;
    // A 2xx to an UPDATE, sent or received: the INVITE data and (unless the session has
    // ended) the dialog take the remote target of targetSource; body, when there is one,
    // becomes what this side sent.
    void takeUpdate(const SipMessageExt& targetSource, const std::string& body, const std::string& contentType);
    // An UPDATE and an INFO received and not answered yet are answered now (statusCode for
    // the UPDATE, 500 for the INFO): the call they belong to ends.
    void refuseUnanswered(int statusCode);

    bool onInviteTimer();
    bool onNoAnswerTimer();
    bool onCancelTimer();
    bool onReInvitePendingTimer();
    // A time-out or transport error of the INVITE ends it with firstEvent or reEvent; others
    // are refused.
    bool endInviteOn(const SipMessageExt& request, int firstEvent, int reEvent, const char* operation);
    bool refuseMethod(const char* operation, const SipMessageExt& message) const;
    bool report(int event, const SipMessageExt* message, const char* operation);
    bool refuse(const char* operation) const;
    void startTimer(int timerName, int seconds, bool& running);
    void startTimerMilliseconds(int timerName, int milliseconds, bool& running);
    void stopTimer(int timerName, bool& running);
    void stopInvitingTimers();
    int dialogId() const;
    // The dialog itself; its parts have operations of the same names.
    SipDialog& asDialog();

    SipSessionDialog& dialog_;
    int state_ = kSessionIdle;
    std::string localBody_;
    std::string localContentType_;
    std::unique_ptr<InvitingSipSessionData> inviting_;
    std::unique_ptr<InvitedSipSessionData> invited_;
    int inviteSeqNo_ = -1;                 // CSeq of the last INVITE: its ACK and repeated 2xx use it
    std::unique_ptr<SipMessageExt> ack_;   // the last ACK sent, for a repeated 2xx
    bool ackSent_ = false;                 // for the current INVITE
    std::unique_ptr<SipMessageExt> finalResponse_;  // the 2xx sent, until its ACK
    int finalResponseInterval_ = 0;        // ms until the 2xx goes out again
    bool finalResponseTimer_ = false;      // FinalResponseRetry running
    bool ackWaitTimer_ = false;            // AckWait running
    bool process100rel_ = true;            // the controller's defaults when the INVITE came
    int relProcessType_ = 0;
    bool ownsCallId_ = false;              // this side sent the first INVITE
    std::unique_ptr<ReInviteParam> reInviteParam_;  // the last re-INVITE asked for
    bool reInvitePending_ = false;         // reInviteParam_ waits to be sent
    bool reInvitePendingTimer_ = false;    // its glare delay runs
    int reInviteRetries_ = 0;              // of reInviteParam_ after a 491
    SessionTimerNegotiation sessionTimer_;
    bool sessionTimerRunning_ = false;     // SessionTimer: the call ends unless refreshed
    bool refreshTimerRunning_ = false;     // SessionRefreshTimer
    bool autoRefresh_ = false;             // the re-INVITE running is a refresh this side sent
    std::string allowText_;                // the call's Allow text while SetAllow is off
    RSeqCounter rseqCounter_;              // of the reliable provisional responses sent
    bool provResponseTimer_ = false;       // ProvResponseRetry running
    bool prAckWaitTimer_ = false;          // PrAckWait running
    std::unique_ptr<AnsweredSipSessionData> prAcked_;  // the PRACK received, until answered
    std::unique_ptr<UpdatingSipSessionData> updating_;
    std::unique_ptr<UpdatedSipSessionData> updated_;
    std::unique_ptr<InfoedSipSessionData> infoed_;
};

}  // namespace kel_sip
