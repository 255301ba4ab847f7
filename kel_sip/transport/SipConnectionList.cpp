#include "kel_sip/transport/SipConnectionList.h"

#include "kel_util/Log.h"

namespace kel_sip {

SipConnectionILData* SipConnectionList::addAndLock(std::unique_ptr<SipConnection>& connection) {
    const int handle = connection->getHandle();
    if (byHandle_.count(handle) != 0) {
        kel_util::logPrint(kel_util::MIN, "SipConnectionList::add. Failed insert, hSocket=%d.\n", handle);
        return nullptr;
    }
    const std::string key = addressKey(connection->getPeerAddress());
    SipConnection* payload = connection.get();
    kel_util::IndividualLockData* record = add(std::make_unique<SipConnectionILData>(std::move(connection)));
    byHandle_[handle] = payload->getId();
    byAddress_[key] = payload->getId();  // the newest connection to an address is the one reused
    return static_cast<SipConnectionILData*>(holdNew(record));
}

SipConnectionILData* SipConnectionList::getAndLock(int id) {
    return static_cast<SipConnectionILData*>(IndividualLockDataList::getAndLock(id));
}

SipConnectionILData* SipConnectionList::getAndLockBySocket(int handle) {
    const auto found = byHandle_.find(handle);
    return found == byHandle_.end() ? nullptr : getAndLock(found->second);
}

bool SipConnectionList::contains(int id) const {
    const kel_util::IndividualLockData* record = find(id);
    return record != nullptr && !record->removed;
}

int SipConnectionList::findByAddress(const kel_util::SocketAddress& address) const {
    const auto found = byAddress_.find(addressKey(address));
    if (found == byAddress_.end()) return 0;
    return contains(found->second) ? found->second : 0;
}

void SipConnectionList::closeSocket(int id) {
    kel_util::IndividualLockData* record = find(id);
    if (record == nullptr) return;
    SipConnection& connection = connectionOf(record);
    const auto found = byHandle_.find(connection.getHandle());
    if (found != byHandle_.end() && found->second == id) byHandle_.erase(found);
    connection.close();
}

std::vector<int> SipConnectionList::getIds() const {
    std::vector<int> ids;
    ids.reserve(size());
    for (const auto& [key, id] : byHandle_) ids.push_back(id);
    return ids;
}

void SipConnectionList::erase(kel_util::IndividualLockData* data) {
    dropIndexes(connectionOf(data));
    IndividualLockDataList::erase(data);  // the connection's socket closes with it
}

void SipConnectionList::dropIndexes(const SipConnection& connection) {
    const int id = connection.getId();
    const auto byHandle = byHandle_.find(connection.getHandle());
    if (byHandle != byHandle_.end() && byHandle->second == id) byHandle_.erase(byHandle);
    const auto byAddress = byAddress_.find(addressKey(connection.getPeerAddress()));
    if (byAddress != byAddress_.end() && byAddress->second == id) byAddress_.erase(byAddress);
}

std::string SipConnectionList::addressKey(const kel_util::SocketAddress& address) { return address.toString(); }

SipConnection& SipConnectionList::connectionOf(kel_util::IndividualLockData* data) {
    return static_cast<SipConnectionILData*>(data)->payload();
}

}  // namespace kel_sip
