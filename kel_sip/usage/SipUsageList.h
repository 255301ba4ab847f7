// The registrants or publishers of one controller: a per-entry locking list
// (kel_util/IndividualLockData.h) whose IDs are the usages' ID numbers, and the discipline every
// controller procedure follows on it.
//
// Threads: every list operation is called with the list locked, as IndividualLockDataList says.
#pragma once

#include <memory>
#include <vector>

#include "kel_sip/transaction/EventLockGuard.h"
#include "kel_util/IndividualLockData.h"
#include "kel_util/Log.h"

namespace kel_sip {

template <class Usage>
class SipUsageList : public kel_util::IndividualLockDataList {
public:
    using Record = kel_util::IndividualLockRecord<Usage>;

    // With the list locked: lists the usage under a new ID number and returns its entry held
    // and locked with the list unlocked.
    Record* addAndLock(std::unique_ptr<Usage> usage) {
        return static_cast<Record*>(IndividualLockDataList::addAndLock(std::make_unique<Record>(std::move(usage))));
    }
    // With the list locked: the entry held and locked with the list unlocked, or null with the
    // list still locked.
    Record* getAndLockById(int id) { return static_cast<Record*>(getAndLock(id)); }
    // Deletes every entry, logging "where. Deleting n name(s)." when there were any.
    void eraseAll(const char* where, const char* name) {
        lock();
        const std::vector<int> all = ids();
        if (!all.empty()) {
            kel_util::logPrint(kel_util::DET, "%s. Deleting %d %s(s).\n", where, static_cast<int>(all.size()), name);
        }
        for (const int id : all) erase(find(id));
        unlock();
    }
    // The number of entries not removed (one that is being deleted does not count).
    int count() {
        lock();
        int live = 0;
        for (const int id : ids()) live += find(id)->removed ? 0 : 1;
        unlock();
        return live;
    }
};

// With the entry held: marks a usage that is back in its Idle state (0) removed, so that the
// last release deletes it, logging "where. name terminated".
template <class Usage>
void removeWhenIdle(typename SipUsageList<Usage>::Record& record, const char* where, const char* name) {
    if (record.payload().getState() != 0) return;
    kel_util::logPrint(kel_util::DET, "%s. %s terminated, id=%d.\n", where, name, record.getId());
    record.removed = true;
}

// Lists a new usage and runs work (its first request) on it with its entry held, then marks it
// removed when it is Idle. Its ID number, or -1 when it could not be listed or work failed.
template <class Usage, class Work>
int addAndRun(SipUsageList<Usage>& list, std::unique_ptr<Usage> usage, const char* where, const char* name,
              Work&& work) {
    list.lock();
    auto* record = list.addAndLock(std::move(usage));
    if (record == nullptr) {
        list.unlock();
        return -1;
    }
    const int id = record->getId();
    const bool done = work(record->payload());
    removeWhenIdle<Usage>(*record, where, name);
    list.release(record);
    list.unlock();
    return done ? id : -1;
}

// A controller procedure on the usage with this ID number: locks the list, gives up the
// eventLock (when called from a procedure), holds the usage's entry while work runs on it,
// then marks it removed when it is Idle. False when there is no such usage (logged) or work
// fails.
template <class Usage, class Work>
bool runOnUsage(SipUsageList<Usage>& list, int id, EventLockGuard* eventLock, const char* where, const char* name,
                Work&& work) {
    list.lock();
    if (eventLock != nullptr) eventLock->release();
    auto* record = list.getAndLockById(id);
    if (record == nullptr) {
        kel_util::logPrint(kel_util::MIN, "%s. No %s found, id=%d.\n", where, name, id);
        list.unlock();
        return false;
    }
    const bool done = work(record->payload());
    removeWhenIdle<Usage>(*record, where, name);
    list.release(record);
    list.unlock();
    return done;
}

}  // namespace kel_sip
