#include "kel_sip/usage/SipRegistrantController.h"

#include <vector>

#include "kel_util/Log.h"

namespace kel_sip {

using kel_util::DET;
using kel_util::logPrint;
using kel_util::MIN;

namespace {
constexpr const char* kName = "SipRegistrant";
}  // namespace

SipRegistrantController::SipRegistrantController(SipTransactionController& controller, kel_util::ClockSource& clock)
    : TransactionUserExt(controller, clock) {}

SipRegistrantController::~SipRegistrantController() { clean(); }

void SipRegistrantController::clean() {
    TransactionUserExt::clean();
    registrants_.eraseAll("SipRegistrantController::clean", kName);
}

int SipRegistrantController::regist(const SipRegistrantStart& start, int* state) {
    auto registrant = std::make_unique<SipRegistrant>(*this, start.contact);
    registrant->start(start.usage);
    return addAndRun(registrants_, std::move(registrant), "SipRegistrantController::regist", kName,
                     [&](SipRegistrant& added) {
                         const bool sent = added.sendRegister(start.registration);
                         if (state != nullptr) *state = added.getState();
                         return sent;
                     });
}

bool SipRegistrantController::reRegist(int id, const SipRegistration& registration) {
    return runOnUsage(registrants_, id, nullptr, "SipRegistrantController::reRegist", kName,
                      [&](SipRegistrant& registrant) { return registrant.sendReRegister(registration); });
}

bool SipRegistrantController::remove(int id) {
    registrants_.lock();
    auto* record = registrants_.getAndLockById(id);
    if (record == nullptr) {
        logPrint(MIN, "SipRegistrantController::remove. No SipRegistrant found, id=%d.\n", id);
        registrants_.unlock();
        return false;
    }
    logPrint(DET, "SipRegistrantController::remove. Found SipRegistrant, removing, State=[%s], id=%d.\n",
             record->payload().getStateString(), id);
    record->payload().stopRefreshTimer();
    record->removed = true;
    registrants_.release(record);
    registrants_.unlock();
    return true;
}

bool SipRegistrantController::inspect(int id, const std::function<void(const SipRegistrant&)>& look) {
    return runOnUsage(registrants_, id, nullptr, "SipRegistrantController::inspect", kName,
                      [&](const SipRegistrant& registrant) {
                          look(registrant);
                          return true;
                      });
}

bool SipRegistrantController::onSipRegistrantEvent(int event, SipRegistrant& registrant, const SipMessageExt*,
                                                   intptr_t) {
    logPrint(DET,
             "SipRegistrantController::onSipRegistrantEvent. SipRegistrantEvent, EventType=[%s], State=[%s], id=%d.\n",
             registrantEventString(event), registrant.getStateString(), registrant.getId());
    return true;
}

bool SipRegistrantController::findBinding(const SipAddress& contact, const SipMessageExt& response,
                                          SipContact& binding) const {
    std::vector<SipContact> contacts;
    if (!response.getContacts(contacts, {})) return false;
    for (const SipContact& candidate : contacts) {
        if (!candidate.wildcard && candidate.address.uri.equals(contact.uri)) {
            binding = candidate;
            return true;
        }
    }
    return false;
}

bool SipRegistrantController::onTimeout(int id, int timerName, EventLockGuard& eventLock) {
    return runOnUsage(registrants_, id, &eventLock, "SipRegistrantController::onTimeout", kName,
                      [&](SipRegistrant& registrant) { return registrant.onTimeout(timerName); });
}

bool SipRegistrantController::procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) {
    return runOnUsage(registrants_, userId, &eventLock, "SipRegistrantController::procReceiveResponse", kName,
                      [&](SipRegistrant& registrant) { return registrant.onReceiveResponse(*response); });
}

bool SipRegistrantController::procClientTransactionTimeout(SipMessageSlot& request, int userId,
                                                           EventLockGuard& eventLock) {
    return runOnUsage(registrants_, userId, &eventLock, "SipRegistrantController::procClientTransactionTimeout", kName,
                      [&](SipRegistrant& registrant) { return registrant.onClientTransactionTimeout(*request); });
}

bool SipRegistrantController::procRequestTransportError(SipMessageSlot& request, int userId,
                                                        EventLockGuard& eventLock) {
    return runOnUsage(registrants_, userId, &eventLock, "SipRegistrantController::procRequestTransportError", kName,
                      [&](SipRegistrant& registrant) { return registrant.onRequestTransportError(*request); });
}

}  // namespace kel_sip
