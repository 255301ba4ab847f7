#include "kel_util/IndividualLockData.h"

#include <climits>

namespace kel_util {

void EntryLock::wait(unsigned ticket) {
    std::unique_lock lock(mutex_);
    turn_.wait(lock, [this, ticket] { return serving_ == ticket; });
}

void EntryLock::unlock() {
    {
        std::lock_guard guard(mutex_);
        ++serving_;
    }
    turn_.notify_all();
}

IndividualLockData* IndividualLockDataList::add(std::unique_ptr<IndividualLockData> data) {
    if (!data) return nullptr;
    // Skipping ids in use always ends: fewer than INT_MAX records can exist.
    int id = lastId_;
    do {
        id = id == INT_MAX ? 1 : id + 1;
    } while (records_.count(id) != 0);
    lastId_ = id;
    data->setId(id);
    IndividualLockData* record = data.get();
    records_.emplace(id, std::move(data));
    return record;
}

IndividualLockData* IndividualLockDataList::addAndLock(std::unique_ptr<IndividualLockData> data) {
    IndividualLockData* record = add(std::move(data));
    return record != nullptr ? holdNew(record) : nullptr;
}

IndividualLockData* IndividualLockDataList::holdNew(IndividualLockData* record) {
    record->lock.wait(record->lock.take());  // new, so nobody else holds it
    record->refCount = 1;
    unlock();
    return record;
}

IndividualLockData* IndividualLockDataList::find(int id) const {
    const auto found = records_.find(id);
    return found == records_.end() ? nullptr : found->second.get();
}

std::vector<int> IndividualLockDataList::ids() const {
    std::vector<int> all;
    all.reserve(records_.size());
    for (const auto& entry : records_) all.push_back(entry.first);
    return all;
}

IndividualLockData* IndividualLockDataList::getAndLock(int id) {
    IndividualLockData* record = find(id);
    if (record == nullptr || record->removed) return nullptr;
    // Counted before the list is unlocked, so the record outlives the wait for its lock; the
    // list is not held during that wait, so other entries stay reachable.
    ++record->refCount;
    const unsigned ticket = record->lock.take();
    unlock();
    record->lock.wait(ticket);
    // removed is only set by a holder of the record's lock, so it is final for this hold.
    if (record->removed) {
        release(record);
        return nullptr;
    }
    return record;
}

void IndividualLockDataList::release(IndividualLockData* data) {
    data->lock.unlock();
    lock();
    dropHold(data);
}

void IndividualLockDataList::dropHold(IndividualLockData* data) {
    if (--data->refCount == 0 && data->removed) erase(data);
}

void IndividualLockDataList::erase(IndividualLockData* data) { records_.erase(data->getId()); }

}  // namespace kel_util
