// A registrant controller and a publisher controller that keep every event they report, for
// the harness tests and the interop tests alike.
#pragma once

#include "UsageEventLog.h"
#include "kel_sip/usage/SipPublisherController.h"
#include "kel_sip/usage/SipRegistrantController.h"

namespace kel_sip::test {

class RecordingRegistrar : public SipRegistrantController {
public:
    RecordingRegistrar(SipTransactionController& transactions, const char* host,
                       kel_util::ClockSource& clock = kel_util::clockSource())
        : SipRegistrantController(transactions, clock) {
        init(1, host);
    }
    ~RecordingRegistrar() override { clean(); }

    bool onSipRegistrantEvent(int event, SipRegistrant& registrant, const SipMessageExt* message,
                              intptr_t parameter) override {
        log.add(recordOf(event, registrant, message, parameter));
        return SipRegistrantController::onSipRegistrantEvent(event, registrant, message, parameter);
    }

    UsageEventLog log;
};

class RecordingPublisher : public SipPublisherController {
public:
    RecordingPublisher(SipTransactionController& transactions, const char* host,
                       kel_util::ClockSource& clock = kel_util::clockSource())
        : SipPublisherController(transactions, clock) {
        init(1, host);
    }
    ~RecordingPublisher() override { clean(); }

    bool onSipPublisherEvent(int event, SipPublisher& publisher, const SipMessageExt* message,
                             intptr_t parameter) override {
        log.add(recordOf(event, publisher, message, parameter));
        return SipPublisherController::onSipPublisherEvent(event, publisher, message, parameter);
    }

    UsageEventLog log;
};

}  // namespace kel_sip::test
