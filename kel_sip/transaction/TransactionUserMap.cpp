#include "kel_sip/transaction/TransactionUserMap.h"

#include <string>

#include "kel_sip/syntax/SipMethod.h"
#include "kel_util/Log.h"

namespace kel_sip {

bool TransactionUserMap::add(const std::vector<int>& methodKinds, kel_util::EventHandler2* user) {
    kel_util::ScopedLock<kel_util::Mutex> lock(mutex_);
    for (const int kind : methodKinds) {
        if (!users_.emplace(kind, user).second) {
            const std::string name(SipMethod::nameOf(kind));
            kel_util::logPrint(kel_util::MIN,
                               "SipTransactionControllerImpl::addTransactionUser. Failed to insert TransactionUser=%p, "
                               "Method=[%s].\n",
                               static_cast<const void*>(user), name.c_str());
            return false;
        }
    }
    return true;
}

kel_util::EventHandler2* TransactionUserMap::userFor(int methodKind) const {
    kel_util::ScopedLock<kel_util::Mutex> lock(mutex_);
    const auto found = users_.find(methodKind);
    return found == users_.end() ? defaultUser_ : found->second;
}

void TransactionUserMap::clear() {
    kel_util::ScopedLock<kel_util::Mutex> lock(mutex_);
    users_.clear();
}

}  // namespace kel_sip
