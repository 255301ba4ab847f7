// Which transaction user serves which method: users register for a list of method kinds,
// and a default user serves every method nobody registered for.
//
// Threads: every operation may be called from any thread.
#pragma once

#include <map>
#include <vector>

#include "kel_util/EventHandler2.h"
#include "kel_util/Mutex.h"

namespace kel_sip {

class TransactionUserMap {
public:
    explicit TransactionUserMap(kel_util::EventHandler2* defaultUser) : defaultUser_(defaultUser) {}

    // Enters user for each method kind in order; stops at the first kind that already has a
    // user and returns false (the kinds entered before it stay).
    bool add(const std::vector<int>& methodKinds, kel_util::EventHandler2* user);
    // The user of the method kind, else the default user (which may be null).
    kel_util::EventHandler2* userFor(int methodKind) const;
    // Forgets every registration; the default user stays.
    void clear();

private:
    kel_util::EventHandler2* const defaultUser_;
    mutable kel_util::Mutex mutex_;
    std::map<int, kel_util::EventHandler2*> users_;  // guarded by mutex_
};

}  // namespace kel_sip
