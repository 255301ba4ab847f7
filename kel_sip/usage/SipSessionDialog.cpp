#include "kel_sip/usage/SipSessionDialog.h"

#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipSessionController.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;

namespace {

// The part a request of this method belongs to: one this side sends (a REFER is the
// subscriber's, a NOTIFY the notifier's) or one it receives (the other way round).
SipSessionDialog::Part partSending(int methodKind) {
    if (methodKind == SipMethod::Refer) return SipSessionDialog::Part::Subscriber;
    if (methodKind == SipMethod::Notify) return SipSessionDialog::Part::Notifier;
    return SipSessionDialog::Part::Session;
}

SipSessionDialog::Part partReceiving(int methodKind) {
    if (methodKind == SipMethod::Refer) return SipSessionDialog::Part::Notifier;
    if (methodKind == SipMethod::Notify) return SipSessionDialog::Part::Subscriber;
    return SipSessionDialog::Part::Session;
}

}  // namespace

SipSessionDialog::SipSessionDialog(SipSessionController& controller, SipTransactionController& transactions)
    : SipDialog(controller, transactions),
      SipSubscriberDialogBase(controller),
      SipNotifierDialogBase(controller),
      controller_(controller) {}

SipSessionDialog::~SipSessionDialog() = default;

void SipSessionDialog::clean() {
    if (session_) session_->stopTimers();
    session_.reset();
    SipSubscriberDialogBase::clean();
    SipNotifierDialogBase::clean();
    SipDialog::clean();
}

void SipSessionDialog::checkState() {
    if (session_ && session_->getState() == kSessionIdle) {
        logPrint(DET, "SipSessionDialog::checkState. SipSession terminated, id=%d.\n", getId());
        session_->stopTimers();
        session_.reset();
    }
    if (subscriber() && subscriber()->state == kSubscriberIdle)
        logPrint(DET, "SipSessionDialog::checkState. SipSubscriber terminated, id=%d.\n", getId());
    if (notifier() && notifier()->state == kNotifierIdle)
        logPrint(DET, "SipSessionDialog::checkState. SipNotifier terminated, id=%d.\n", getId());
    const bool noSubscriber = dropIdleSubscriber();
    const bool noNotifier = dropIdleNotifier();
    if (!session_ && noSubscriber && noNotifier) setState(kDialogIdle);
}

SipSession& SipSessionDialog::createSession() {
    if (!session_) session_ = std::make_unique<SipSession>(*this);
    return *session_;
}

SipSession* SipSessionDialog::sessionFor(const SipMessageExt& message, const char* operation) {
    if (session_) return session_.get();
    const std::string method(message.isRequest ? message.getMethodName() : message.cseq.getMethodName());
    logPrint(MIN, "SipSessionDialog::%s. No SipSession, Method=[%s], SipDialogState=[%s], id=%d.\n", operation,
             method.c_str(), getStateString(), getId());
    return nullptr;
}

bool SipSessionDialog::route(Part part, const SipMessageExt& message, const char* operation,
                             const std::function<bool()>& toSubscriber, const std::function<bool()>& toNotifier,
                             const std::function<bool(SipSession&)>& toSession) {
    bool done = false;
    if (part == Part::Subscriber) {
        done = toSubscriber();
    } else if (part == Part::Notifier) {
        done = toNotifier();
    } else {
        SipSession* session = sessionFor(message, operation);
        done = session != nullptr && toSession(*session);
    }
    checkState();
    return done;
}

bool SipSessionDialog::onTimeout(int timerName) {
    bool done = false;
    if (timerName >= kTimerInvite && timerName <= kTimerReInvitePending) {
        done = session_ && session_->onTimeout(timerName);
    } else if (timerName >= kTimerSubscribeExpire && timerName <= kTimerSubscribeGuard) {
        done = onSubscriberTimeout(timerName);
    } else {
        done = onNotifierTimeout(timerName);
    }
    checkState();
    return done;
}

bool SipSessionDialog::onReceiveRequest(SipMessageSlot& request, int serverTransactionId) {
    SipMessageExt& r = *request;
    if (r.methodKind == SipMethod::Invite && !session_) {
        logPrint(DET, "SipSessionDialog::onReceiveRequest. Creating SipSession, SipDialogState=[%s], id=%d.\n",
                 getStateString(), getId());
        createSession();
    }
    return route(
        partReceiving(r.methodKind), r, "onReceiveRequest", [&] { return onSubscriberNotify(r, serverTransactionId); },
        [&] { return onNotifierRequest(r, serverTransactionId); },
        [&](SipSession& session) { return session.onReceiveRequest(r, serverTransactionId); });
}

bool SipSessionDialog::onReceiveResponse(SipMessageSlot& response) {
    SipMessageExt& r = *response;
    return route(
        partSending(r.cseq.getMethodKind()), r, "onReceiveResponse", [&] { return onSubscriberResponse(r); },
        [&] { return onNotifierResponse(r); }, [&](SipSession& session) { return session.onReceiveResponse(r); });
}

bool SipSessionDialog::onClientTransactionTimeout(SipMessageSlot& request) {
    const SipMessageExt& r = *request;
    return route(
        partSending(r.methodKind), r, "onClientTransactionTimeout", [&] { return onSubscriberTransactionTimeout(r); },
        [&] { return onNotifierTransactionTimeout(r); },
        [&](SipSession& session) { return session.onClientTransactionTimeout(r); });
}

bool SipSessionDialog::onRequestTransportError(SipMessageSlot& request) {
    const SipMessageExt& r = *request;
    return route(
        partSending(r.methodKind), r, "onRequestTransportError", [&] { return onSubscriberRequestTransportError(r); },
        [&] { return onNotifierRequestTransportError(r); },
        [&](SipSession& session) { return session.onRequestTransportError(r); });
}

bool SipSessionDialog::onResponseTransportError(SipMessageSlot& response) {
    const SipMessageExt& r = *response;
    return route(
        partReceiving(r.cseq.getMethodKind()), r, "onResponseTransportError",
        [&] { return onSubscriberResponseTransportError(r); }, [&] { return onNotifierResponseTransportError(r); },
        [&](SipSession& session) { return session.onResponseTransportError(r); });
}

}  // namespace kel_sip
