#include "kel_sip/transaction/SipTransactionList.h"

#include <vector>

namespace kel_sip {

SipTransactionList::~SipTransactionList() {
    lock();
    clear();
    unlock();
}

SipTransactionListData* SipTransactionList::addAndHold(std::unique_ptr<SipTransaction> transaction) {
    const std::string key = transaction->key();
    auto* record = static_cast<SipTransactionListData*>(add(std::make_unique<SipTransactionListData>(std::move(transaction))));
    byKey_.emplace(key, record);
    return static_cast<SipTransactionListData*>(holdNew(record));
}

SipTransactionListData* SipTransactionList::getAndLockById(int id) {
    return static_cast<SipTransactionListData*>(getAndLock(id));
}

SipTransactionListData* SipTransactionList::getAndLockMatching(const std::string& key,
                                                               const std::function<bool(SipTransaction&)>& matches) {
    // The candidates are taken by ID: the list is unlocked while an entry lock is awaited, and
    // an entry erased meanwhile is simply not found again.
    std::vector<int> candidates;
    const auto range = byKey_.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) candidates.push_back(it->second->getId());
    for (const int id : candidates) {
        SipTransactionListData* record = getAndLockById(id);
        if (record == nullptr) continue;
        if (matches(record->payload())) return record;
        IndividualLockDataList::release(record);
    }
    return nullptr;
}

bool SipTransactionList::hasKey(const std::string& key, const TransactionMethod* method) const {
    const auto range = byKey_.equal_range(key);
    for (auto it = range.first; it != range.second; ++it) {
        const SipTransactionListData& record = *it->second;
        if (record.removed) continue;
        if (method == nullptr || record.payload().getMethod() == *method) return true;
    }
    return false;
}

void SipTransactionList::release(SipTransactionListData* data, bool remove) {
    if (remove) data->removed = true;
    IndividualLockDataList::release(data);
}

int SipTransactionList::clear() {
    std::vector<int> ids;
    ids.reserve(byKey_.size());
    for (const auto& entry : byKey_) ids.push_back(entry.second->getId());
    for (const int id : ids) {
        // Through the entry lock: a thread still in a step on the transaction ends it first,
        // and removed is only ever set by a holder of the entry.
        SipTransactionListData* record = getAndLockById(id);
        if (record != nullptr) release(record, true);
    }
    return static_cast<int>(ids.size());
}

void SipTransactionList::erase(kel_util::IndividualLockData* data) {
    const auto range = byKey_.equal_range(static_cast<SipTransactionListData*>(data)->payload().key());
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == data) {
            byKey_.erase(it);
            break;
        }
    }
    IndividualLockDataList::erase(data);
}

}  // namespace kel_sip
