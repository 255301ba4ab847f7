#include "phone/UaRegistrations.h"

#include "kel_sip/usage/SipRegistrant.h"

int UaRegistrations::add(const kel_sip::SipRegistrantStart& start, const kel_sip::AuthenticateData& credentials) {
    std::lock_guard lock(mutex_);
    return send({start, credentials, 0, false});
}

int UaRegistrations::send(Entry entry) {
    entry.start.usage.credentials = entry.credentials.isUsable() ? &entry.credentials : nullptr;
    kel_sip::SipAddress used;
    const int id = agent_.registerBinding(entry.start, used);
    if (id <= 0) return -1;
    if (entry.scriptId == 0) entry.scriptId = id;
    registrantOf_[entry.scriptId] = id;
    const int scriptId = entry.scriptId;
    entry.start.usage.credentials = nullptr;  // points into the entry; set again when sent
    byRegistrant_.insert_or_assign(id, std::move(entry));
    return scriptId;
}

bool UaRegistrations::remove(int id) {
    std::lock_guard lock(mutex_);
    const auto current = registrantOf_.find(id);
    if (current == registrantOf_.end()) return false;
    const auto entry = byRegistrant_.find(current->second);
    if (entry != byRegistrant_.end()) {
        entry->second.start.registration.expires = 0;
        entry->second.answered = false;
    }
    kel_sip::SipRegistration removal;
    removal.expires = 0;
    return agent_.reRegist(current->second, removal);
}

bool UaRegistrations::answerChallenge(int registrantId, int event, const kel_sip::SipMessageExt* response) {
    const bool refused = event == kel_sip::kRegistrantRegisterFailed || event == kel_sip::kRegistrantUnregisterFailed;
    if (!refused || response == nullptr || (response->statusCode != 401 && response->statusCode != 407)) return false;
    std::lock_guard lock(mutex_);
    const auto found = byRegistrant_.find(registrantId);
    // A second challenge to credentials already sent means they were wrong: no loop.
    if (found == byRegistrant_.end() || found->second.answered || !found->second.credentials.isUsable()) return false;
    Entry retry = found->second;
    if (!retry.credentials.captureChallenge(*response)) return false;
    retry.answered = true;
    retry.start.usage.callId = response->callId;
    retry.start.usage.initialSeqNo = static_cast<int>(response->cseq.getNumber());
    if (event == kel_sip::kRegistrantUnregisterFailed) retry.start.registration.expires = 0;
    byRegistrant_.erase(found);
    return send(std::move(retry)) > 0;
}
