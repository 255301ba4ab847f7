#include "phone/UaInviteRetries.h"

#include "kel_sip/usage/SipSessionTypes.h"

int UaInviteRetries::add(const kel_sip::SipDialogStart& start, const kel_sip::InviteOrder& order, std::string body,
                         const kel_sip::AuthenticateData& credentials) {
    std::lock_guard lock(mutex_);
    return send({start, order, std::move(body), credentials, false});
}

int UaInviteRetries::send(Entry entry) {
    entry.start.credentials = entry.credentials.isUsable() ? &entry.credentials : nullptr;
    entry.order.body = entry.body;
    const int id = agent_.invite(entry.start, entry.order);
    if (id <= 0) return -1;
    // Both point into the entry, which moves: set again when sent.
    entry.start.credentials = nullptr;
    entry.order.body = {};
    byDialog_.insert_or_assign(id, std::move(entry));
    return id;
}

int UaInviteRetries::answerChallenge(int dialogId, int event, const kel_sip::SipMessageExt* response) {
    std::lock_guard lock(mutex_);
    const auto found = byDialog_.find(dialogId);
    if (found == byDialog_.end()) return 0;
    if (event != kel_sip::kEventInvitingFailed) {
        // Only the first INVITE of a call is retried here; a call that got past it is done with.
        if (event != kel_sip::kEventInvitingProceeding) byDialog_.erase(found);
        return 0;
    }
    Entry retry = std::move(found->second);
    byDialog_.erase(found);
    const bool challenged = response != nullptr && (response->statusCode == 401 || response->statusCode == 407);
    // A second challenge to credentials already sent means they were wrong: no loop.
    if (!challenged || retry.answered || !retry.credentials.isUsable()) return 0;
    if (!retry.credentials.captureChallenge(*response)) return 0;
    retry.answered = true;
    retry.start.callId = response->callId;
    retry.start.initialLocalSeqNo = static_cast<int>(response->cseq.getNumber()) + 1;
    retry.start.localTag.clear();
    const int id = send(std::move(retry));
    return id > 0 ? id : 0;
}
