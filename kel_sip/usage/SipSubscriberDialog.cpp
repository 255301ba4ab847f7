#include "kel_sip/usage/SipSubscriberDialog.h"

#include "kel_sip/syntax/SipMethod.h"

namespace kel_sip {

namespace {

bool isSubscriptionRequest(int methodKind) { return methodKind == SipMethod::Subscribe || methodKind == SipMethod::Refer; }

}  // namespace

void SipSubscriberDialog::clean() {
    SipSubscriberDialogBase::clean();
    SipDialog::clean();
}

void SipSubscriberDialog::checkState() {
    if (dropIdleSubscriber()) setState(kDialogIdle);
}

bool SipSubscriberDialog::sendResponse(const SipMessageExt&, bool) { return false; }

bool SipSubscriberDialog::onTimeout(int timerName) { return onSubscriberTimeout(timerName); }

bool SipSubscriberDialog::onReceiveRequest(SipMessageSlot& request, int serverTransactionId) {
    if (request->methodKind != SipMethod::Notify) return SipDialog::onReceiveRequest(request, serverTransactionId);
    return onSubscriberNotify(*request, serverTransactionId);
}

bool SipSubscriberDialog::onReceiveResponse(SipMessageSlot& response) {
    if (!isSubscriptionRequest(response->cseq.getMethodKind())) return SipDialog::onReceiveResponse(response);
    return onSubscriberResponse(*response);
}

bool SipSubscriberDialog::onClientTransactionTimeout(SipMessageSlot& request) {
    if (!isSubscriptionRequest(request->methodKind)) return SipDialog::onClientTransactionTimeout(request);
    return onSubscriberTransactionTimeout(*request);
}

bool SipSubscriberDialog::onRequestTransportError(SipMessageSlot& request) {
    if (!isSubscriptionRequest(request->methodKind)) return SipDialog::onRequestTransportError(request);
    return onSubscriberRequestTransportError(*request);
}

bool SipSubscriberDialog::onResponseTransportError(SipMessageSlot& response) {
    if (response->cseq.getMethodKind() != SipMethod::Notify) return SipDialog::onResponseTransportError(response);
    return onSubscriberResponseTransportError(*response);
}

}  // namespace kel_sip
