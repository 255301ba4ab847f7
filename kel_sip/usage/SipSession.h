// The INVITE session of one call (RFC 3261 sections 13 to 15): the state machine that sends the
// INVITE, follows its provisional and final responses, acknowledges a 2xx, answers a repeated
// 2xx with the ACK it kept, and ends the call with BYE; each step the user agent must know of
// is reported to the controller as a numbered SipSessionEvent.
//
// The calling side is here: INVITE, CANCEL (RFC 3261 section 9.1, held back until the first
// response), re-INVITE with the retry after a 491 (section 14.1), ACK and BYE. The answering side
// (INVITE and re-INVITE received, 2xx retransmitted until the ACK, CANCEL received) is in
// SipSessionAnswering.cpp; the session timers (RFC 4028) in SipSessionTimer.cpp. What is not
// built yet (the RFC 3262 extension) is refused with an "Invalid" log line and fails, so the
// controller answers it 500 and no session is left waiting.
//
// Threads: touched only under the entry lock of its dialog.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/syntax/SipPeerAddress.h"
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
    SessionTimerOverrides sessionTimer;     // 2xx: the session-timer values; unset ones the session's
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
    // BYE (RFC 3261 section 15.1.1); the session ends whether or not it went out.
    bool sendBye(const HeaderList* headers);
    // The user hangs up: CANCEL while Inviting, BYE in the states that have a dialog to end; an
    // INVITE received and not answered yet is refused with rejectStatusCode.
    bool endSession(const HeaderList* headers, int rejectStatusCode);
    // Answers the INVITE received (Invited, ReInvited): 100, a provisional response, a 2xx
    // (sent again until the ACK comes) or an error response (300-699).
    bool respondSession(const SessionResponse& response);

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
    // Sends a 1xx or 2xx in the answering states; sent, when given, receives it; sessionTimer,
    // when given, receives the session-timer values of the 2xx, whose headers it then carries.
    bool sendInviteResponse(const SessionResponse& response, const char* operation,
                            std::unique_ptr<SipMessageExt>* sent, SessionTimerValues* sessionTimer = nullptr);
    // The response to the INVITE received with the contact, body and headers given.
    std::unique_ptr<SipMessageExt> createInviteResponse(const SessionResponse& response, const std::string& body,
                                                        const std::string& contentType);
    // The 487 of the INVITE received that a CANCEL or BYE ends.
    bool sendRequestTerminated();
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
    // The refresh re-INVITE, with the local content (RFC 4028 section 7.4).
    bool sendSessionRefresh();

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
};

}  // namespace kel_sip
