// The transaction user that registers contact addresses with a registrar (RFC 3261 section
// 10): each binding is a SipRegistrant with its own Call-ID and CSeq counter, kept in a list
// under its ID number. The user agent derives from it and hears of every change through
// onSipRegistrantEvent; it answers digest challenges by registering again with credentials,
// the challenged Call-ID and CSeq number.
//
// Threads: regist, reRegist, remove and the setters from any thread; init and clean from the
// owner. onSipRegistrantEvent runs with the registrant's entry locked (the list unlocked), on a
// worker or on the thread that called regist or reRegist.
// It must not call reRegist, remove or inspect for the same registrant (that entry lock is held).
#pragma once

#include <functional>

#include <atomic>

#include "kel_sip/syntax/SipContact.h"
#include "kel_sip/transaction/TransactionUserExt.h"
#include "kel_sip/usage/SipRegistrant.h"
#include "kel_sip/usage/SipUsageList.h"

namespace kel_sip {

// What regist registers: where and for whom, the contact, and the first REGISTER's values.
struct SipRegistrantStart {
    SipUsageStart usage;
    SipAddress contact;
    SipRegistration registration;
};

class SipRegistrantController : public TransactionUserExt {
public:
    explicit SipRegistrantController(SipTransactionController& controller,
                                     kel_util::ClockSource& clock = kel_util::clockSource());
    ~SipRegistrantController() override;

    // TransactionUserExt::clean, then deletes every registrant.
    void clean() override;

    // Creates a registrant and sends its REGISTER: its ID number, or -1 when the REGISTER could
    // not be sent (the registrant is gone then). state, when given, receives its state.
    int regist(const SipRegistrantStart& start, int* state = nullptr);
    // A further REGISTER of the registrant (expires 0 removes the binding): sent now when
    // Registered, queued when a REGISTER is outstanding. False otherwise or when unknown.
    bool reRegist(int id, const SipRegistration& registration);
    // Forgets the registrant without sending anything; false when unknown.
    bool remove(int id);

    // Whether a removal sends the wildcard "*" (setting UnregisterByWildCard).
    bool getUnregisterByWildCard() const noexcept { return unregisterByWildCard_.load(std::memory_order_relaxed); }
    void setUnregisterByWildCard(bool on) noexcept { unregisterByWildCard_.store(on, std::memory_order_relaxed); }

    // A registrant's event (SipRegistrantEvent) with the message that caused it or that was
    // sent, when there is one. The base logs it.
    virtual bool onSipRegistrantEvent(int event, SipRegistrant& registrant, const SipMessageExt* message,
                                      intptr_t parameter);
    // The Contact value of a 2xx whose URI matches contact (RFC 3261 section 19.1.4); false
    // when there is none or the Contact values do not parse.
    virtual bool findBinding(const SipAddress& contact, const SipMessageExt& response, SipContact& binding) const;
    // The state a registrant returns to when its removal is refused: still Registered.
    virtual int stateAfterFailedUnregister() const { return kRegistrantRegistered; }

    // Runs look on the registrant with this ID number under its entry lock, so after any event
    // being handled for it; false when there is none.
    bool inspect(int id, const std::function<void(const SipRegistrant&)>& look);
    // The number of registrants listed and not removed.
    int count() { return registrants_.count(); }

protected:
    bool onTimeout(int id, int timerName, EventLockGuard& eventLock) override;
    bool procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) override;
    bool procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;
    bool procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;

private:
    SipUsageList<SipRegistrant> registrants_;
    std::atomic<bool> unregisterByWildCard_{false};
};

}  // namespace kel_sip
