#include "kel_sip/usage/SipDialogList.h"

#include <vector>

namespace kel_sip {

SipDialogList::~SipDialogList() {
    lock();
    std::vector<SipDialogListData*> all;
    for (const auto& entry : byCallId_) all.push_back(entry.second);
    for (SipDialogListData* record : all) erase(record);
    unlock();
}

SipDialogListData* SipDialogList::addAndLock(std::unique_ptr<SipDialog> dialog) {
    if (!dialog) return nullptr;
    auto* record = static_cast<SipDialogListData*>(add(std::make_unique<SipDialogListData>(std::move(dialog))));
    byCallId_.emplace(record->callId(), record);
    return static_cast<SipDialogListData*>(holdNew(record));
}

SipDialogListData* SipDialogList::getAndLockById(int id) { return static_cast<SipDialogListData*>(getAndLock(id)); }

SipDialogListData* SipDialogList::getAndLockByRequest(const SipMessage& request) {
    return getAndLockByTags(request.to.tag, request.from.tag, request.callId);
}

SipDialogListData* SipDialogList::getAndLockByTags(const std::string& localTag, const std::string& remoteTag,
                                                   const std::string& callId) {
    return getAndLockMatching(callId, [&](SipDialog& dialog) {
        const SipDialogID& dialogId = dialog.dialogId();
        // A dialog whose peer's tag is not known yet (no response so far) takes any From tag.
        return dialogId.localTag == localTag && (dialogId.remoteTag.empty() || dialogId.remoteTag == remoteTag);
    });
}

SipDialogListData* SipDialogList::getAndLockMatching(const std::string& callId,
                                                     const std::function<bool(SipDialog&)>& matches) {
    // Candidates are taken by ID: the list is unlocked while an entry lock is awaited, and an
    // entry erased meanwhile is simply not found again.
    std::vector<int> candidates;
    const auto range = byCallId_.equal_range(callId);
    for (auto it = range.first; it != range.second; ++it) candidates.push_back(it->second->getId());
    for (const int id : candidates) {
        SipDialogListData* record = getAndLockById(id);
        if (record == nullptr) continue;
        if (matches(record->dialog())) return record;
        IndividualLockDataList::release(record);
    }
    return nullptr;
}

void SipDialogList::release(SipDialogListData* data, bool remove) {
    if (remove) data->removed = true;
    IndividualLockDataList::release(data);
}

void SipDialogList::erase(kel_util::IndividualLockData* data) {
    auto* record = static_cast<SipDialogListData*>(data);
    const auto range = byCallId_.equal_range(record->callId());
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == record) {
            byCallId_.erase(it);
            break;
        }
    }
    IndividualLockDataList::erase(data);
}

}  // namespace kel_sip
