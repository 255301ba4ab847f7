// One binding of a contact address at a registrar (RFC 3261 section 10.2): it sends REGISTER,
// follows the response, refreshes the binding at half the lifetime the registrar granted, and
// removes it with its own contact or the wildcard. Digest challenges are answered by the
// caller, which registers again with the credentials, this Call-ID and this CSeq number.
//
// Threads: a registrant is touched only while its list entry is locked.
#pragma once

#include <optional>
#include <string>

#include "kel_sip/syntax/SipAddress.h"
#include "kel_sip/usage/SipOutOfDialogUsage.h"

namespace kel_sip {

class SipRegistrantController;

enum SipRegistrantState : int {
    kRegistrantIdle = 0,
    kRegistrantRegistering = 1,
    kRegistrantRegistered = 2,
    kRegistrantUnregistering = 3,
};

enum SipRegistrantEvent : int {
    kRegistrantRegisteredEvent = 0,
    kRegistrantUnregisteredEvent = 1,
    kRegistrantRegisterFailed = 2,
    kRegistrantUnregisterFailed = 3,
    kRegistrantTransactionTimeout = SipOutOfDialogUsage::kTimeoutEvent,
    kRegistrantTransportError = SipOutOfDialogUsage::kTransportErrorEvent,
    kRegistrantRefresh = 6,
    kRegistrantSentRegister = 7,
    kRegistrantSentUnregister = 8,
    kRegistrantRefreshSendFailed = 9,
};

// "Idle", "Registering", "Registered", "Unregistering"; "Unkown" for any other value.
const char* registrantStateString(int state);
// "Registered" ... "Register refresh send failed"; "Unkown event" for any other value.
const char* registrantEventString(int event);

// The lifetime a registrar gives when it names none (RFC 3261 section 10.2.1.1).
inline constexpr int kDefaultRegistrationLifetime = 3600;

// What a REGISTER asks for: the binding's lifetime (0 removes it), its q-value (negative:
// none), the From tag (empty: the registrant's own) and whether the wildcard "*" is sent.
struct SipRegistration {
    int expires = kDefaultRegistrationLifetime;
    float q = -1;
    std::string localTag;
    bool wildcard = false;
};

class SipRegistrant : public SipOutOfDialogUsage {
public:
    // controller must outlive the registrant.
    SipRegistrant(SipRegistrantController& controller, const SipAddress& contact);

    // Sends REGISTER in Idle or Registered; a negative expires sends the stored values.
    // Registering with expires above 0, Unregistering with 0 (event 7 or 8).
    bool sendRegister(const SipRegistration& registration);
    // In Registered sends now; in Registering queues the values for when the outstanding
    // REGISTER has succeeded; fails in any other state.
    bool sendReRegister(const SipRegistration& registration);

    const char* getStateString() const override { return registrantStateString(state_); }
    const SipAddress& getContact() const noexcept { return contact_; }
    // The values of the last REGISTER that set a binding.
    int getExpires() const noexcept { return stored_.expires; }
    float getQ() const noexcept { return stored_.q; }
    bool isWildcard() const noexcept { return stored_.wildcard; }
    bool hasQueuedRefresh() const noexcept { return queued_.has_value(); }

private:
    void onSuccess(SipMessageExt& response) override;
    void onFailure(SipMessageExt& response) override;
    void onLost(const SipMessageExt& request, int event) override;
    // Sends the stored values again.
    void refresh() override;
    // The lifetime the registrar granted our binding; none when the response does not hold it.
    std::optional<int> grantedLifetime(SipMessageExt& response) const;
    void report(int event, const SipMessageExt* message, intptr_t parameter = 0);

    SipRegistrantController& controller_;
    SipAddress contact_;
    SipRegistration stored_;
    std::optional<SipRegistration> queued_;
};

}  // namespace kel_sip
