#include "kel_sip/usage/SipRegistrant.h"

#include <algorithm>
#include <iterator>

#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIntField.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/usage/SipRegistrantController.h"
#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DBG;
using kel_util::logPrint;
using kel_util::MIN;

const char* registrantStateString(int state) {
    switch (state) {
        case kRegistrantIdle: return "Idle";
        case kRegistrantRegistering: return "Registering";
        case kRegistrantRegistered: return "Registered";
        case kRegistrantUnregistering: return "Unregistering";
        default: return "Unkown";
    }
}

const char* registrantEventString(int event) {
    static const char* const names[] = {"Registered",
                                        "Unregistered",
                                        "Register failed",
                                        "Unregister failed",
                                        "Register transaction timeout",
                                        "Request transport error",
                                        "Register refresh",
                                        "Sent REGISTER",
                                        "Sent Un-REGISTER",
                                        "Register refresh send failed"};
    return event >= 0 && event < static_cast<int>(std::size(names)) ? names[event] : "Unkown event";
}

SipRegistrant::SipRegistrant(SipRegistrantController& controller, const SipAddress& contact)
    : SipOutOfDialogUsage(controller, "SipRegistrant"), controller_(controller), contact_(contact) {}

bool SipRegistrant::sendRegister(const SipRegistration& asked) {
    if (state_ != kRegistrantIdle && state_ != kRegistrantRegistered) {
        logPrint(MIN, "SipRegistrant::sendRegister. Invalid SipRegistrantState=[%s], id=%d.\n", getStateString(),
                 getId());
        return false;
    }
    stopRefreshTimer();
    SipRegistration registration = asked;
    if (registration.expires < 0) {
        registration.expires = stored_.expires;
        registration.q = stored_.q;
        registration.wildcard = stored_.wildcard;
    }
    // The wildcard removes every binding of the address of record and is only valid with an
    // Expires of 0 (RFC 3261 section 10.2.2).
    if (registration.expires == 0 && controller_.getUnregisterByWildCard()) registration.wildcard = true;
    if (registration.wildcard) registration.expires = 0;

    std::unique_ptr<SipMessageExt> request = createRequest(SipMethod::Register, registration.localTag.c_str());
    SipContact contact;
    if (registration.wildcard) {
        contact.wildcard = true;
        request->addHeader(SipHeader::Expires, "0");
    } else {
        contact.address = contact_;
        contact.expires = registration.expires;
        if (registration.q > 0) contact.q = registration.q;
    }
    request->addTypedHeader(SipHeader::Contact, contact);
    if (!send(*request)) return false;
    stored_.wildcard = registration.wildcard;
    stored_.expires = registration.expires;
    if (registration.expires != 0) {
        stored_.q = registration.q;
        state_ = kRegistrantRegistering;
        report(kRegistrantSentRegister, request.get());
    } else {
        state_ = kRegistrantUnregistering;
        report(kRegistrantSentUnregister, request.get());
    }
    return true;
}

bool SipRegistrant::sendReRegister(const SipRegistration& registration) {
    if (state_ == kRegistrantRegistering) {
        queued_ = registration;
        return true;
    }
    if (state_ == kRegistrantRegistered) return sendRegister(registration);
    logPrint(MIN, "SipRegistrant::sendReRegister. Invalid SipRegistrantState=[%s], id=%d.\n", getStateString(),
             getId());
    return false;
}

void SipRegistrant::onSuccess(SipMessageExt& response) {
    // A nonce is good for one registration; the caller answers the next challenge afresh.
    credentials_.reset();
    const std::optional<int> lifetime = grantedLifetime(response);
    if (!lifetime || *lifetime == 0) {
        stopRefreshTimer();
        queued_.reset();
        state_ = kRegistrantIdle;
        report(kRegistrantUnregisteredEvent, &response);
        return;
    }
    state_ = kRegistrantRegistered;
    report(kRegistrantRegisteredEvent, &response);
    if (queued_) {
        const SipRegistration queued = *queued_;
        queued_.reset();
        if (sendRegister(queued)) return;
    }
    startRefreshTimer(*lifetime);
}

void SipRegistrant::onFailure(SipMessageExt& response) {
    stopRefreshTimer();
    queued_.reset();
    if (state_ == kRegistrantRegistering) {
        state_ = kRegistrantIdle;
        report(kRegistrantRegisterFailed, &response);
    } else {
        state_ = controller_.stateAfterFailedUnregister();
        report(kRegistrantUnregisterFailed, &response);
    }
}

std::optional<int> SipRegistrant::grantedLifetime(SipMessageExt& response) const {
    SipContact binding;
    if (!controller_.findBinding(contact_, response, binding)) {
        logPrint(DBG, "SipRegistrant::grantedLifetime. No binding of ours in the response, id=%d.\n", getId());
        return std::nullopt;
    }
    // The binding's own expires, else Expires, else the default (RFC 3261 section 10.2.4).
    if (binding.expires >= 0) return clampLifetime(binding.expires);
    if (!response.hasHeader(SipHeader::Expires)) return kDefaultRegistrationLifetime;
    SipIntField expires;
    if (response.getTypedHeader(SipHeader::Expires, expires) && expires.getValue() >= 0) {
        return clampLifetime(expires.getValue());
    }
    logPrint(MIN, "SipRegistrant::grantedLifetime. Unreadable Expires, the requested %d s kept, id=%d.\n",
             stored_.expires, getId());
    return stored_.expires;
}

void SipRegistrant::onLost(const SipMessageExt& request, int event) {
    queued_.reset();
    report(event, &request);
}

void SipRegistrant::refresh() {
    SipRegistration stored;
    stored.expires = -1;
    if (sendRegister(stored)) {
        report(kRegistrantRefresh, nullptr);
    } else {
        report(kRegistrantRefreshSendFailed, nullptr, getSeqNo());
    }
}

void SipRegistrant::report(int event, const SipMessageExt* message, intptr_t parameter) {
    controller_.onSipRegistrantEvent(event, *this, message, parameter);
}

}  // namespace kel_sip
