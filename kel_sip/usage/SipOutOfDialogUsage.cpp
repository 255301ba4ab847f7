#include "kel_sip/usage/SipOutOfDialogUsage.h"

#include <algorithm>
#include <climits>

#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_util/Log.h"
#include "kel_util/Random.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

constexpr int kRefreshTimer = 0;

SipFromTo withTag(const SipFromTo& party, const std::string& tag) {
    SipFromTo value = party;
    value.tag = tag;
    return value;
}

// The CSeq number after current; past 2^31 - 1 (RFC 3261 section 8.1.1.5) it starts again at 1.
int nextSeqNo(int current) { return current < 0 || current >= INT_MAX - 1 ? 1 : current + 1; }

}  // namespace

int clampLifetime(std::int64_t seconds) {
    return static_cast<int>(std::clamp<std::int64_t>(seconds, 0, kMaxUsageLifetime));
}

SipOutOfDialogUsage::SipOutOfDialogUsage(TransactionUserExt& owner, const char* className)
    : owner_(owner), className_(className) {}

SipOutOfDialogUsage::~SipOutOfDialogUsage() = default;

void SipOutOfDialogUsage::start(const SipUsageStart& start) {
    requestUri_ = start.requestUri;
    addressOfRecord_ = withTag(start.addressOfRecord, {});
    localTag_ = makeTag();
    callId_ = start.callId.empty() ? makeCallId(owner_.getHostName()) : start.callId;
    const int initial = owner_.getInitialLocalSeqNo();
    if (start.initialSeqNo) {
        seqNo_ = *start.initialSeqNo;
    } else {
        // Below 2^30, so that the counter has room before the largest CSeq.
        seqNo_ = initial < 0 ? static_cast<int>(kel_util::randomUInt32() & 0x3fffffffu) : initial - 1;
    }
    peer_ = start.peer;
    binding_ = {start.transportType < 0 ? owner_.getDefaultTransport() : start.transportType, start.transportId,
                start.connectionId};
    credentials_ = start.credentials != nullptr ? std::make_unique<AuthenticateData>(*start.credentials) : nullptr;
    headers_.reset();
    if (start.headers != nullptr) {
        headers_ = std::make_unique<HeaderList>();
        headers_->addHeaders(*start.headers);
    }
}

std::unique_ptr<SipMessageExt> SipOutOfDialogUsage::createRequest(int methodKind, const char* localTag) {
    seqNo_ = nextSeqNo(seqNo_);
    SipRequestFields fields;
    fields.methodKind = methodKind;
    fields.from = withTag(addressOfRecord_, localTag != nullptr && *localTag != '\0' ? localTag : localTag_);
    fields.to = addressOfRecord_;
    fields.callId = callId_;
    fields.cseqNumber = seqNo_;
    fields.maxForwards = owner_.getMaxForwards();
    std::unique_ptr<SipMessageExt> request = SipMessageExt::createRequest(fields, requestUri_);
    int type = binding_.transportType;
    if (binding_.transportId >= 0) {
        request->transportId = binding_.transportId;
        request->connectionId = binding_.connectionId;
    } else if (requestUri_.transportType() >= 0) {
        // The Request-URI may name its transport (RFC 3261 section 18.1.1).
        type = requestUri_.transportType();
    }
    request->transportType = type;
    request->vias.insert(request->vias.begin(), SipVia(transportName(type), SipHostPort(), owner_.createBranch()));
    return request;
}

bool SipOutOfDialogUsage::send(SipMessageExt& request) {
    if (credentials_) credentials_->addCredentials(request);
    if (headers_) request.addHeaders(*headers_);
    const std::optional<SipPeerAddress> outbound = owner_.getOutboundPeer();
    const std::optional<SipPeerAddress>& peer = peer_ ? peer_ : outbound;
    if (peer) {
        if (peer->empty()) {
            logPrint(MIN, "%s::sendRequest. Failed setPeer, HostPort=[%s], id=%d.\n", className_,
                     peer->toString().c_str(), id_);
            return false;
        }
        request.peer = *peer;
    } else if (!request.setMessagePeer()) {
        logPrint(MIN, "%s::sendRequest. Failed setRequestPeer, id=%d.\n", className_, id_);
        return false;
    }
    const int result = owner_.sendRequest(request, id_);
    if (result < 1) {
        logPrint(MIN, "%s::sendRequest. Failed sendRequest, result=%d, id=%d.\n", className_, result, id_);
        return false;
    }
    clientTransactionId_ = result;
    return true;
}

bool SipOutOfDialogUsage::isCurrent(const SipMessageExt& message, const char* operation) const {
    if (message.cseq.getNumber() == seqNo_) return true;
    const std::string method(message.getMethodName());
    logPrint(MIN,
             "%s::%s. SequenceNumber not matching (%d, %d), ignored, Method=[%s], StatusCode=%d, %sState=[%s], "
             "id=%d.\n",
             className_, operation, static_cast<int>(message.cseq.getNumber()), seqNo_, method.c_str(),
             message.statusCode, className_, getStateString(), id_);
    return false;
}

bool SipOutOfDialogUsage::onReceiveResponse(SipMessageExt& response) {
    if (!isCurrent(response, "onReceiveResponse")) return true;
    if (response.statusCode < 200) {
        logPrint(DBG, "%s::onReceiveResponse. Provisional StatusCode=%d, id=%d.\n", className_, response.statusCode,
                 id_);
        return true;
    }
    if (!isOutstanding()) {
        logPrint(MIN, "%s::onReceiveResponse. Ignored StatusCode=%d, %sState=[%s], id=%d.\n", className_,
                 response.statusCode, className_, getStateString(), id_);
        return true;
    }
    clientTransactionId_ = 0;
    if (response.statusCode >= 300) {
        onFailure(response);
    } else {
        onSuccess(response);
    }
    return true;
}

bool SipOutOfDialogUsage::onClientTransactionTimeout(const SipMessageExt& request) {
    if (takeLostRequest(request, "onClientTransactionTimeout")) onLost(request, kTimeoutEvent);
    return true;
}

bool SipOutOfDialogUsage::onRequestTransportError(const SipMessageExt& request) {
    if (takeLostRequest(request, "onRequestTransportError")) onLost(request, kTransportErrorEvent);
    return true;
}

bool SipOutOfDialogUsage::takeLostRequest(const SipMessageExt& request, const char* operation) {
    if (!isCurrent(request, operation) || !isOutstanding()) return false;
    clientTransactionId_ = 0;
    stopRefreshTimer();
    state_ = 0;
    return true;
}

void SipOutOfDialogUsage::startRefreshTimer(int lifetimeSeconds) {
    // Half the lifetime; a lifetime kept below 2^31 s gives at most about 2^40 ms, so clamp.
    const std::int64_t milliseconds = std::min<std::int64_t>(std::int64_t{lifetimeSeconds} * 500, INT_MAX);
    refreshTimerRunning_ = owner_.setTimer(static_cast<int>(milliseconds), id_, kRefreshTimer, 0);
    if (!refreshTimerRunning_) logPrint(MIN, "%s::startRefreshTimer. Failed setTimer, id=%d.\n", className_, id_);
}

void SipOutOfDialogUsage::stopRefreshTimer() {
    if (!refreshTimerRunning_) return;
    owner_.cancelTimer(id_, kRefreshTimer);
    refreshTimerRunning_ = false;
}

bool SipOutOfDialogUsage::onTimeout(int timerName) {
    if (timerName != kRefreshTimer) {
        logPrint(MIN, "%s::onTimeout. Invalid TimerName=%d, %sState=[%s], id=%d.\n", className_, timerName,
                 className_, getStateString(), id_);
        return false;
    }
    refreshTimerRunning_ = false;
    if (state_ == kSetState) {
        refresh();
    } else {
        logPrint(DBG, "%s::onTimeout. Refresh timer ignored, %sState=[%s], id=%d.\n", className_, className_,
                 getStateString(), id_);
    }
    return true;
}

}  // namespace kel_sip
