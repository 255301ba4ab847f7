// The controller's list of client or server transactions: a per-entry locking list (see
// kel_util/IndividualLockData.h) with a second index from transaction key to entries. The
// client key is the top Via branch without the magic cookie, the server key its branch (or
// Call-ID, see ServerTransactionID::keyOf); several transactions may share a key, and a
// search tries each of them.
//
// Threads: every operation is called with the list locked, as IndividualLockDataList says.
// A transaction's key and method are fixed before it is added, so they may be read under the
// list lock alone; everything else of a transaction only under its entry lock.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "kel_sip/transaction/SipTransaction.h"
#include "kel_util/IndividualLockData.h"

namespace kel_sip {

// The entry that owns one transaction; erasing it deletes the transaction, whose destructor
// cancels the timers still running.
using SipTransactionListData = kel_util::IndividualLockRecord<SipTransaction>;

class SipTransactionList : public kel_util::IndividualLockDataList {
public:
    ~SipTransactionList() override;

    // With the list locked: lists the transaction under a new ID and its key, and returns its
    // entry held by the caller with the list unlocked (see holdNew).
    SipTransactionListData* addAndHold(std::unique_ptr<SipTransaction> transaction);

    // With the list locked: the entry with this ID, held and locked with the list unlocked, or
    // null with the list still locked.
    SipTransactionListData* getAndLockById(int id);

    // With the list locked: tries the transactions listed under key, each under its entry
    // lock, until matches accepts one; returns its entry held with the list unlocked, or null
    // with the list locked.
    SipTransactionListData* getAndLockMatching(const std::string& key,
                                               const std::function<bool(SipTransaction&)>& matches);

    // With the list locked: whether a transaction not yet removed has this key and, when
    // method is given, this method.
    bool hasKey(const std::string& key, const TransactionMethod* method = nullptr) const;

    // Gives up an entry held by getAndLock..., erasing it first when remove is set; returns
    // with the list locked.
    void release(SipTransactionListData* data, bool remove);

    // With the list locked: erases every entry, each through its entry lock, so that one a
    // thread is working on is erased when that step ends; returns how many there were.
    int clear();

    void erase(kel_util::IndividualLockData* data) override;

private:
    std::unordered_multimap<std::string, SipTransactionListData*> byKey_;
};

}  // namespace kel_sip
