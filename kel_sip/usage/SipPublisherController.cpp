#include "kel_sip/usage/SipPublisherController.h"

#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DET;
using kel_util::logPrint;

namespace {
constexpr const char* kName = "SipPublisher";
}  // namespace

SipPublisherController::SipPublisherController(SipTransactionController& controller, kel_util::ClockSource& clock)
    : TransactionUserExt(controller, clock) {}

SipPublisherController::~SipPublisherController() { clean(); }

void SipPublisherController::clean() {
    TransactionUserExt::clean();
    publishers_.eraseAll("SipPublisherController::clean", kName);
}

int SipPublisherController::publish(const SipPublisherStart& start, int* state) {
    auto publisher = std::make_unique<SipPublisher>(*this, start.eventPackage);
    publisher->start(start.usage);
    return addAndRun(publishers_, std::move(publisher), "SipPublisherController::publish", kName,
                     [&](SipPublisher& added) {
                         logPrint(DET, "SipPublisherController::publish. Created SipPublisher id=%d.\n", added.getId());
                         const bool sent = added.sendPublish(start.publication);
                         if (state != nullptr) *state = added.getState();
                         return sent;
                     });
}

bool SipPublisherController::rePublish(int id, const SipPublication& publication) {
    return runOnUsage(publishers_, id, nullptr, "SipPublisherController::rePublish", kName,
                      [&](SipPublisher& publisher) { return publisher.sendRePublish(publication); });
}

bool SipPublisherController::inspect(int id, const std::function<void(const SipPublisher&)>& look) {
    return runOnUsage(publishers_, id, nullptr, "SipPublisherController::inspect", kName,
                      [&](const SipPublisher& publisher) {
                          look(publisher);
                          return true;
                      });
}

bool SipPublisherController::onSipPublisherEvent(int event, SipPublisher& publisher, const SipMessageExt*, intptr_t) {
    logPrint(DET,
             "SipPublisherController::onSipPublisherEvent. SipPublisherEvent, EventType=[%s], State=[%s], id=%d.\n",
             publisherEventString(event), publisher.getStateString(), publisher.getId());
    return true;
}

bool SipPublisherController::onTimeout(int id, int timerName, EventLockGuard& eventLock) {
    return runOnUsage(publishers_, id, &eventLock, "SipPublisherController::onTimeout", kName,
                      [&](SipPublisher& publisher) { return publisher.onTimeout(timerName); });
}

bool SipPublisherController::procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) {
    return runOnUsage(publishers_, userId, &eventLock, "SipPublisherController::procReceiveResponse", kName,
                      [&](SipPublisher& publisher) { return publisher.onReceiveResponse(*response); });
}

bool SipPublisherController::procClientTransactionTimeout(SipMessageSlot& request, int userId,
                                                          EventLockGuard& eventLock) {
    return runOnUsage(publishers_, userId, &eventLock, "SipPublisherController::procClientTransactionTimeout", kName,
                      [&](SipPublisher& publisher) { return publisher.onClientTransactionTimeout(*request); });
}

bool SipPublisherController::procRequestTransportError(SipMessageSlot& request, int userId,
                                                       EventLockGuard& eventLock) {
    return runOnUsage(publishers_, userId, &eventLock, "SipPublisherController::procRequestTransportError", kName,
                      [&](SipPublisher& publisher) { return publisher.onRequestTransportError(*request); });
}

}  // namespace kel_sip
