// The session timers of an INVITE session (RFC 4028): the request check and the headers of the
// INVITE and 2xx are SessionTimerNegotiation's; here the session keeps the interval a 2xx
// agreed, ends the call with BYE when no refresh came in time, and, when this side refreshes,
// sends the refresh at half the interval. A refresh is an UPDATE without body when the settings
// ask for it, else a re-INVITE with the local content that the session runs itself: the user
// agent hears of its sending, not of its responses, and the session sends its ACK.
#include <optional>
#include <string>

#include "kel_sip/syntax/HeaderList.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/usage/SipSession.h"
#include "kel_sip/usage/SipSessionController.h"
#include "kel_sip/usage/SipSessionDialog.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

// The states in which a dialog exists whose session a timer guards.
bool hasAgreedSession(int state) {
    return state == kSessionInvitingConfirmed || state == kSessionInvitedConfirmed || state == kSessionAcknowledged ||
           state == kSessionReInvitingConfirmed || state == kSessionReInvitedConfirmed;
}

}  // namespace

SessionLogTag SipSession::logTag() const { return {getStateString(), dialogId()}; }

void SipSession::takeSessionTimerDefaults(bool answering) {
    SessionTimerParams params = dialog_.controller().getSessionTimerDefaults();
    if (!answering) params.processType = 0;
    sessionTimer_.params() = params;
}

std::optional<bool> SipSession::checkSessionTimerRequest(SipMessageExt& request) {
    const SessionTimerCheck check = sessionTimer_.checkRequest(request, logTag());
    if (check.status == 0) {
        invited_->sessionTimer = check.request;
        return std::nullopt;
    }
    const char* what = check.headerValue != nullptr ? check.headerValue : "Session Interval Too Small";
    return refuseInvite(check.status, what, check.request.minSE);
}

std::optional<bool> SipSession::checkUpdateSessionTimer(UpdatedSipSessionData& update) {
    const SessionTimerCheck check = sessionTimer_.checkRequest(*update.request, logTag());
    if (check.status == 0) {
        update.sessionTimer = check.request;
        return std::nullopt;
    }
    HeaderList headers;
    if (check.status == 420) headers.addHeader(SipHeader::Unsupported, check.headerValue);
    else if (check.status == 422) headers.addHeader(SipHeader::MinSE, std::to_string(check.request.minSE));
    else headers.addHeader(SipHeader::ReasonPhrase, check.headerValue);
    SessionResponse refusal;
    refusal.statusCode = check.status;
    refusal.headers = &headers;
    return sendKeptResponse(update, refusal, {}, "onReceiveUpdate");
}

void SipSession::takeSessionTimerSuccess(SipMessageExt& response) {
    sessionTimer_.takeSuccess(inviting_->sessionTimer, response, logTag());
}

void SipSession::stopSessionTimers() {
    stopTimer(kTimerSessionTimer, sessionTimerRunning_);
    stopTimer(kTimerSessionRefresh, refreshTimerRunning_);
}

void SipSession::procSessionTimer() {
    stopSessionTimers();
    if (!hasAgreedSession(state_)) return;
    // A 2xx is sent or taken as it arrives, so no time has passed since the interval began.
    const SessionTimerInstants instants = sessionTimer_.instants(0);
    if (instants.expirySeconds > 0) startTimer(kTimerSessionTimer, instants.expirySeconds, sessionTimerRunning_);
    if (instants.refreshSeconds > 0) startTimer(kTimerSessionRefresh, instants.refreshSeconds, refreshTimerRunning_);
    logPrint(DBG, "SipSession::procSessionTimer. SessionTimer=%d, SessionRefreshTimer=%d, id=%d.\n",
             instants.expirySeconds, instants.refreshSeconds, dialogId());
}

bool SipSession::onSessionTimer() {
    sessionTimerRunning_ = false;
    // RFC 4028 section 10: no refresh came within the interval; the session is over (the timer
    // runs only while there is a call, and sendBye refuses any other state).
    logPrint(MIN, "SipSession::onTimeout. Session timer expired, sending BYE, id=%d.\n", dialogId());
    const bool ended = sendBye(nullptr);
    return report(kEventSessionTimerExpired, nullptr, "onTimeout") && ended;
}

bool SipSession::onSessionRefreshTimer() {
    refreshTimerRunning_ = false;
    if (state_ != kSessionAcknowledged || !sessionTimer_.params().refresher) {
        // Another INVITE transaction runs; its 2xx starts the timers anew.
        logPrint(DBG, "SipSession::onTimeout. Session refresh ignored, SipSessionState=[%s], id=%d.\n",
                 getStateString(), dialogId());
        return true;
    }
    const bool sent = sendSessionRefresh();
    return report(kEventSessionRefresh, nullptr, "onTimeout") && sent;
}

bool SipSession::sendSessionRefresh() {
    if (sessionTimer_.params().useUpdateSessionRefresh) return sendUpdate({});
    InviteOrder order;
    order.reuseLocalContent = true;
    order.sessionRefresh = true;
    return sendReInvite(order);
}

}  // namespace kel_sip
