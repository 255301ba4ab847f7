#include "kel_sip/transaction/SipTransaction.h"

#include <algorithm>
#include <climits>

#include "kel_util/Log.h"

using kel_util::logPrint;

namespace kel_sip {

namespace {

// Timer values come from settings: products are clamped instead of overflowing.
int scaledUpTo(int value, int factor, int cap) {
    return static_cast<int>(std::min<long long>(static_cast<long long>(factor) * value, cap));
}

}  // namespace

SipTransaction::SipTransaction(std::unique_ptr<TransactionContext> context) : context_(std::move(context)) {}

SipTransaction::~SipTransaction() {
    cancelTimers();
}

bool SipTransaction::onTimeout(int timer) {
    if (!isTimerRunning(timer)) {
        // The expiry was already queued, or taken by a worker, when the timer was cancelled.
        logPrint(kel_util::DET, "SipTransaction::onTimeout. Ignored Timer=%d, not running, state=%d, id=%d.\n", timer,
                 state_, id_);
        return true;
    }
    runningTimers_ &= ~(1u << timer);
    return onRunningTimer(timer);
}

bool SipTransaction::isTimerRunning(int timer) const {
    return timer >= 0 && timer < kTimerCount && (runningTimers_ & (1u << timer)) != 0;
}

bool SipTransaction::ignoreTimer(int timer) const {
    logPrint(kel_util::DET, "%s::onTimeout. Ignored Timer=%d in state=%d, id=%d.\n", className(), timer, state_, id_);
    return true;
}

bool SipTransaction::refuseInput(const char* input) const {
    logPrint(kel_util::MIN, "%s::%s. Invalid state=%d, id=%d.\n", className(), input, state_, id_);
    return false;
}

bool SipTransaction::sendRequestByTransport(SipMessageExt& request) {
    const std::string method(request.getMethodName());
    const void* transport = context_->transport();
    logPrint(kel_util::DBG, "SipTransaction::sendRequestByTransport. Sending message, Method=[%s], SipTransportBase=%p, id=%d.\n",
             method.c_str(), transport, id_);
    if (!context_->sendRequest(request, id_)) {
        logPrint(kel_util::MIN,
                 "SipTransaction::sendRequestByTransport. Failed sendRequest, Method=[%s], SipTransportBase=%p, id=%d.\n",
                 method.c_str(), transport, id_);
        return false;
    }
    logPrint(kel_util::DBG,
             "SipTransaction::sendRequestByTransport. Succeeded sendRequest, Method=[%s], SipTransportBase=%p, id=%d.\n",
             method.c_str(), transport, id_);
    return true;
}

bool SipTransaction::sendResponseByTransport(SipMessageExt& response) {
    const std::string method(response.getMethodName());
    const int code = response.statusCode;
    const void* transport = context_->transport();
    logPrint(kel_util::DBG,
             "SipTransaction::sendResponseByTransport. Sending message, Method=[%s], StatusCode=%d, SipTransportBase=%p, "
             "id=%d.\n",
             method.c_str(), code, transport, id_);
    if (!context_->sendResponse(response, id_)) {
        logPrint(kel_util::MIN,
                 "SipTransaction::sendResponseByTransport. Failed sendResponse, Method=[%s], StatusCode=%d, "
                 "SipTransportBase=%p, id=%d.\n",
                 method.c_str(), code, transport, id_);
        return false;
    }
    logPrint(kel_util::DBG,
             "SipTransaction::sendResponseByTransport. Succeeded sendResponse, Method=[%s], StatusCode=%d, "
             "SipTransportBase=%p, id=%d.\n",
             method.c_str(), code, transport, id_);
    return true;
}

bool SipTransaction::startTimer(int timer, int milliseconds) {
    if (!context_->startTimer(id_, timer, milliseconds)) {
        logPrint(kel_util::MIN, "SipTransaction::startTimer. Failed to start Timer=%d, duration=%d, id=%d.\n", timer,
                 milliseconds, id_);
        return false;
    }
    runningTimers_ |= 1u << timer;
    return true;
}

void SipTransaction::cancelTimer(int timer) {
    if (!isTimerRunning(timer)) return;
    context_->cancelTimer(id_, timer);
    runningTimers_ &= ~(1u << timer);
}

void SipTransaction::cancelTimers() {
    for (int timer = 0; timer < kTimerCount; ++timer) cancelTimer(timer);
}

bool SipTransaction::startRetransmitTimer(int timer) {
    interval_ = timerValues().t1;
    return startTimer(timer, interval_);
}

bool SipTransaction::restartRetransmitTimer(int timer, int cap) {
    interval_ = scaledUpTo(interval_, 2, cap);
    return startTimer(timer, interval_);
}

bool SipTransaction::waitForRetransmissions(int next, int timer, int milliseconds) {
    if (isReliable()) {
        state_ = kStateTerminated;
        return true;
    }
    state_ = next;
    return startTimer(timer, milliseconds);
}

bool SipTransaction::endWait(int timer, int waiting) {
    if (state_ != waiting) return ignoreTimer(timer);
    state_ = kStateTerminated;
    return true;
}

bool SipTransaction::notifyTU(int type, SipMessageSlot& message) {
    logPrint(kel_util::DBG, "SipTransaction::notifyTU. START\n");
    return context_->notifyUser(type, message, id_, userId_);
}

bool SipTransaction::endWithTransportError(SipMessageSlot& message) {
    const int type = transportErrorType();
    logPrint(kel_util::MIN, "SipTransaction::endWithTransportError. Transport error, type=%d, state=%d, id=%d.\n", type,
             state_, id_);
    cancelTimers();
    state_ = kStateTerminated;
    return notifyTU(type, message ? message : keptMessage());
}

int SipTransaction::transactionTimeout() const {
    return scaledUpTo(timerValues().t1, 64, INT_MAX);
}

}  // namespace kel_sip
