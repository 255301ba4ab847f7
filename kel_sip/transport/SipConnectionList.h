// The table of open connections: an id-keyed list whose entries carry their own lock, with
// two more indexes, by socket handle (to find the connection of a poll event) and by peer
// address (to reuse a connection for a destination).
//
// The handle index entry of a connection goes when its socket is closed (closeSocket), not when
// its record is finally erased, so that a new connection given the same descriptor number by the
// next accept is listed at once.
//
// Threads: as IndividualLockDataList; every operation below with the list locked.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "kel_sip/transport/SipConnection.h"
#include "kel_util/IndividualLockData.h"

namespace kel_sip {

using SipConnectionILData = kel_util::IndividualLockRecord<SipConnection>;

class SipConnectionList : public kel_util::IndividualLockDataList {
public:
    // Lists the connection under a new ID and returns its record locked for the caller, with
    // the list unlocked. Null, with the list still locked and the connection given back in
    // connection, when its socket handle is listed already.
    SipConnectionILData* addAndLock(std::unique_ptr<SipConnection>& connection);
    // As IndividualLockDataList::getAndLock.
    SipConnectionILData* getAndLock(int id);
    SipConnectionILData* getAndLockBySocket(int handle);
    // True while the connection is listed and not removed.
    bool contains(int id) const;
    // The ID of a connection to address, 0 when there is none.
    int findByAddress(const kel_util::SocketAddress& address) const;
    // Closes the socket of a listed connection and drops its handle from the index; the record
    // stays until its last holder releases it. Does nothing for an ID that is gone.
    void closeSocket(int id);
    // The IDs of every connection whose socket is still open.
    std::vector<int> getIds() const;

    void erase(kel_util::IndividualLockData* data) override;

private:
    static std::string addressKey(const kel_util::SocketAddress& address);
    static SipConnection& connectionOf(kel_util::IndividualLockData* data);
    void dropIndexes(const SipConnection& connection);

    std::unordered_map<int, int> byHandle_;          // socket handle -> connection ID
    std::unordered_map<std::string, int> byAddress_; // "host:port" of the peer -> connection ID
};

}  // namespace kel_sip
