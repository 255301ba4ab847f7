// The transaction user that publishes event state with PUBLISH (RFC 3903): each publication
// is a SipPublisher with its own Call-ID and CSeq counter, kept in a list under its ID number.
// The user agent derives from it and hears of every change through onSipPublisherEvent.
//
// Threads: publish, rePublish and the setters from any thread; init and clean from the owner.
// onSipPublisherEvent runs with the publisher's entry locked (the list unlocked), on a worker or
// on the thread that called publish or rePublish.
// It must not call rePublish or inspect for the same publisher (that entry lock is held).
#pragma once

#include <functional>

#include "kel_sip/transaction/TransactionUserExt.h"
#include "kel_sip/usage/SipPublisher.h"
#include "kel_sip/usage/SipUsageList.h"

namespace kel_sip {

// What publish publishes: where and for whom, the event package and the first PUBLISH.
struct SipPublisherStart {
    SipUsageStart usage;
    std::string eventPackage;
    SipPublication publication;
};

class SipPublisherController : public TransactionUserExt {
public:
    explicit SipPublisherController(SipTransactionController& controller,
                                    kel_util::ClockSource& clock = kel_util::clockSource());
    ~SipPublisherController() override;

    // TransactionUserExt::clean, then deletes every publisher.
    void clean() override;

    // Creates a publisher and sends its PUBLISH: its ID number, or -1 when the PUBLISH could
    // not be sent (the publisher is gone then). state, when given, receives its state.
    int publish(const SipPublisherStart& start, int* state = nullptr);
    // A further PUBLISH of the publisher (expires 0 removes the publication): sent now when
    // Published, queued when a PUBLISH is outstanding. False otherwise or when unknown.
    bool rePublish(int id, const SipPublication& publication);

    // A publisher's event (SipPublisherEvent) with the message that caused it or that was
    // sent, when there is one. The base logs it.
    virtual bool onSipPublisherEvent(int event, SipPublisher& publisher, const SipMessageExt* message,
                                     intptr_t parameter);

    // Runs look on the publisher with this ID number under its entry lock, so after any event
    // being handled for it; false when there is none.
    bool inspect(int id, const std::function<void(const SipPublisher&)>& look);
    // The number of publishers listed and not removed.
    int count() { return publishers_.count(); }

protected:
    bool onTimeout(int id, int timerName, EventLockGuard& eventLock) override;
    bool procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) override;
    bool procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;
    bool procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;

private:
    SipUsageList<SipPublisher> publishers_;
};

}  // namespace kel_sip
