// The dialogs of one usage controller: a per-entry locking list (kel_util/IndividualLockData.h)
// whose IDs are the dialogs' ID numbers, with a second index from Call-ID to entries so that a
// request or a response finds its dialog by its dialog ID (RFC 3261 section 12.2.2).
//
// Threads: every operation is called with the list locked, as IndividualLockDataList says.
// Tags are read only under the candidate's entry lock, so a dialog whose local tag changed
// is found by its new tag.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "kel_sip/syntax/SipMessage.h"
#include "kel_sip/usage/SipDialogListData.h"
#include "kel_util/IndividualLockData.h"

namespace kel_sip {

class SipDialogList : public kel_util::IndividualLockDataList {
public:
    ~SipDialogList() override;

    // With the list locked: lists the dialog under a new ID number and its Call-ID, and returns
    // its entry held and locked with the list unlocked.
    SipDialogListData* addAndLock(std::unique_ptr<SipDialog> dialog);
    // With the list locked: the entry with this ID number, held and locked with the list
    // unlocked, or null with the list still locked.
    SipDialogListData* getAndLockById(int id);
    // With the list locked: the first dialog under the request's Call-ID, not removed, whose
    // local tag is the request's To tag and whose remote tag, once known, is its From tag.
    // Held and locked with the list unlocked, or null with the list locked.
    SipDialogListData* getAndLockByRequest(const SipMessage& request);
    // The same with the texts given (a 2xx to INVITE without a dialog number: local tag = its
    // From tag, remote tag = its To tag).
    SipDialogListData* getAndLockByTags(const std::string& localTag, const std::string& remoteTag,
                                        const std::string& callId);
    // The first dialog under callId, not removed, that matches takes (called with its entry
    // locked). Held and locked with the list unlocked, or null with the list locked.
    SipDialogListData* getAndLockMatching(const std::string& callId, const std::function<bool(SipDialog&)>& matches);
    // Gives up an entry held by addAndLock or getAndLock..., deleting it first when remove is
    // set and no other thread holds it; returns with the list locked.
    void release(SipDialogListData* data, bool remove = false);

    void erase(kel_util::IndividualLockData* data) override;

private:
    std::unordered_multimap<std::string, SipDialogListData*> byCallId_;
};

}  // namespace kel_sip
