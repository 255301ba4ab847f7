#include "kel_sip/usage/SessionTimerNegotiation.h"

#include <algorithm>
#include <climits>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIntField.h"
#include "kel_sip/usage/ExtensionProcessType.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::logPrint;
using kel_util::MIN;

namespace {

constexpr const char* kTimerTag = "timer";

// A 64-bit count of seconds (-1 when unset) as seconds that fit an int.
int toSeconds(std::int64_t value) {
    if (value < 0) return -1;
    return static_cast<int>(std::min<std::int64_t>(value, INT_MAX));
}

enum class FieldRead { Absent, Parsed, Invalid };

FieldRead readField(HeaderListBase& headers, int kind, SipParam& value) {
    if (!headers.hasHeader(kind)) return FieldRead::Absent;
    return headers.getTypedHeader(kind, value) ? FieldRead::Parsed : FieldRead::Invalid;
}

SessionTimerCheck refuseInvalid(SessionTimerCheck check, const char* header, const char* reasonPhrase,
                                const SessionLogTag& tag) {
    logPrint(MIN, "SipSession::procRequestedSessionTimerParams. Invalid %s, SipSessionState=[%s], id=%d.\n", header,
             tag.state, tag.id);
    check.status = 400;
    check.headerValue = reasonPhrase;
    return check;
}

}  // namespace

SessionTimerValues SessionTimerNegotiation::addRequestHeaders(const SessionTimerOverrides& given,
                                                              HeaderListBase& request) const {
    SessionTimerValues values;
    const bool fromSession = params_.processSessionTimer;
    values.processType = knownProcessType(given.processType.value_or(fromSession ? params_.processType : 0));
    if (values.processType == 0) return values;
    values.used = true;
    values.minSE = given.minSE.value_or(fromSession ? params_.minSE : 0);
    values.sessionExpires = given.sessionExpires.value_or(fromSession ? params_.sessionExpires : -1);
    const int ownRefresher = params_.refresher ? SipSessionExpires::RefresherUac : SipSessionExpires::RefresherUas;
    values.refresher = given.refresher.value_or(fromSession ? ownRefresher : SipSessionExpires::RefresherNone);

    if (values.processType == 2) request.addOptionTag(SipHeader::Require, kTimerTag);
    request.addOptionTag(SipHeader::Supported, kTimerTag);
    if (!params_.omitMinSE && values.minSE > 0) request.addTypedHeader(SipHeader::MinSE, SipIntField(values.minSE));
    request.addSessionExpires(values.sessionExpires, values.refresher);
    return values;
}

SessionTimerCheck SessionTimerNegotiation::checkRequest(HeaderListBase& request, const SessionLogTag& tag) const {
    SessionTimerCheck check;
    check.request.use = extensionUse(request, kTimerTag);
    if (check.request.use == 2 && params_.processSessionTimer && params_.processType == 0) {
        logPrint(MIN,
                 "SipSession::procRequestedSessionTimerParams. Extension timer required but not supported, "
                 "SipSessionState=[%s], id=%d.\n",
                 tag.state, tag.id);
        check.status = 420;
        check.headerValue = kTimerTag;
        return check;
    }
    if (check.request.use == 0) return check;

    SipIntField minSE;
    if (readField(request, SipHeader::MinSE, minSE) == FieldRead::Invalid) {
        return refuseInvalid(check, "Min-SE", "Invalid Min-SE header", tag);
    }
    SipSessionExpires sessionExpires;
    if (readField(request, SipHeader::SessionExpires, sessionExpires) == FieldRead::Invalid) {
        return refuseInvalid(check, "Session-Expires", "Invalid Session-Expires header", tag);
    }
    check.request.minSE = std::max(params_.minSE, toSeconds(minSE.getValue()));
    check.request.sessionExpires = toSeconds(sessionExpires.getValue());
    check.request.refresher = sessionExpires.getRefresher();

    const SessionTimerRequest& asked = check.request;
    if (params_.processSessionTimer && asked.sessionExpires > 0 && asked.minSE > 0 &&
        asked.sessionExpires < asked.minSE) {
        logPrint(MIN, "SipSession::procRequestedSessionTimerParams. SessionExpires too small, SipSessionState=[%s], id=%d.\n",
                 tag.state, tag.id);
        check.status = 422;
    }
    return check;
}

SessionTimerValues SessionTimerNegotiation::addSuccessHeaders(const SessionTimerOverrides& given,
                                                              const SessionTimerRequest& requested,
                                                              HeaderListBase& response) const {
    SessionTimerValues values;
    values.processType = knownProcessType(given.processType.value_or(params_.processType));
    if (!params_.processSessionTimer || values.processType == 0) return values;
    if (!timerUsedFor(requested.use)) {
        response.addOptionTag(SipHeader::Supported, kTimerTag);
        return values;
    }
    const bool asked = requested.use > 0;
    values.used = true;
    values.minSE = given.minSE.value_or(asked ? requested.minSE : params_.minSE);
    values.sessionExpires = given.sessionExpires.value_or(
        asked && requested.sessionExpires >= 0 ? requested.sessionExpires : params_.sessionExpires);
    if (values.sessionExpires >= 0) values.sessionExpires = std::max(values.sessionExpires, values.minSE);
    // A caller that does not support the timer will not refresh: this side does (RFC 4028
    // section 9).
    const bool ownRefresh = params_.refresher || !asked;
    const int ownRefresher = ownRefresh ? SipSessionExpires::RefresherUas : SipSessionExpires::RefresherUac;
    values.refresher = given.refresher.value_or(
        asked && requested.refresher != SipSessionExpires::RefresherNone ? requested.refresher : ownRefresher);

    // The caller must learn that it refreshes, so "uac" makes the extension required (RFC
    // 4028 section 9).
    const bool require = (values.processType == 1 && values.refresher == SipSessionExpires::RefresherUac) ||
                         values.processType == 2 || params_.forceRequireTimer;
    if (require) response.addOptionTag(SipHeader::Require, kTimerTag);
    response.addSessionExpires(values.sessionExpires, values.refresher);
    response.addOptionTag(SipHeader::Supported, kTimerTag);
    return values;
}

void SessionTimerNegotiation::takeSent(const SessionTimerValues& sent) {
    if (!params_.processSessionTimer) return;
    params_.processType = sent.processType;
    params_.sessionExpires = sent.used && sent.sessionExpires >= 1 ? sent.sessionExpires : -1;
    params_.refresher = sent.used && sent.refresher == SipSessionExpires::RefresherUas;
    if (sent.used) params_.minSE = sent.minSE;
}

void SessionTimerNegotiation::takeSuccess(const SessionTimerValues& sent, HeaderListBase& response,
                                          const SessionLogTag& tag) {
    if (!params_.processSessionTimer) return;
    params_.processType = sent.processType;
    params_.minSE = 0;
    params_.sessionExpires = -1;
    params_.refresher = false;
    const int use = extensionUse(response, kTimerTag);
    const bool used = use == 2 || (params_.startType == 1 && use == 1) || params_.startType == 2;
    if (sent.processType == 0 || !used) return;

    params_.minSE = sent.minSE;
    SipSessionExpires answered;
    const FieldRead read = readField(response, SipHeader::SessionExpires, answered);
    if (read == FieldRead::Invalid) {
        logPrint(MIN, "SipSession::procResponseSessionTimerParams. Invalid Session-Expires, SipSessionState=[%s], id=%d.\n",
                 tag.state, tag.id);
    }
    if (read != FieldRead::Parsed) {
        params_.sessionExpires = sent.sessionExpires;
        params_.refresher = sent.refresher != SipSessionExpires::RefresherUas;
        return;
    }
    params_.sessionExpires = std::max(toSeconds(answered.getValue()), sent.minSE);
    params_.refresher = answered.getRefresher() == SipSessionExpires::RefresherUac ||
                        (answered.getRefresher() == SipSessionExpires::RefresherNone &&
                         sent.refresher != SipSessionExpires::RefresherUas);
}

SessionTimerInstants SessionTimerNegotiation::instants(std::int64_t elapsedSeconds) const {
    SessionTimerInstants instants;
    if (!params_.processSessionTimer || params_.processType == 0 || params_.sessionExpires <= 0) return instants;
    const std::int64_t interval = params_.sessionExpires;
    // The session ends a little before the interval runs out, so the BYE beats the peer's.
    const std::int64_t expiry = (interval >= 30 ? interval - 10 : interval - interval / 3) - elapsedSeconds;
    if (expiry > 0) instants.expirySeconds = toSeconds(expiry);
    if (!params_.refresher) return instants;
    const std::int64_t refresh = interval / 2 - elapsedSeconds;
    if (refresh > 0) instants.refreshSeconds = toSeconds(refresh);
    return instants;
}

bool SessionTimerNegotiation::timerUsedFor(int peerUse) const {
    switch (params_.startType) {
        case 1: return peerUse > 0;
        case 2: return true;
        default: return peerUse == 2;
    }
}

}  // namespace kel_sip
