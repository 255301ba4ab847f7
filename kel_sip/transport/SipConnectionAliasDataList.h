// Connection aliases (the alias parameter of a Via, RFC 5923 in spirit): the address a peer
// named in the Via of a request it sent on a connection, so that requests to that address reuse
// the connection instead of opening a new one. Keyed by numeric host text, then port.
//
// What a peer can add is bounded: at most kMaxPerConnection aliases per connection, so that a
// peer varying its Via port cannot grow the table without limit.
//
// Threads: used under the connection list's lock.
#pragma once

#include <map>
#include <string>
#include <unordered_map>

#include "kel_util/SocketAddress.h"

namespace kel_sip {

struct SipConnectionAliasData {
    kel_util::SocketAddress peer;
    int connectionId = 0;
};

class SipConnectionAliasDataList {
public:
    static constexpr int kMaxPerConnection = 16;

    // 1 added, 0 already present (for any connection), -1 when address cannot be printed or
    // the connection has its most aliases already.
    int add(const kel_util::SocketAddress& address, int connectionId);
    // The connection ID an alias names, 0 when there is none.
    int find(const kel_util::SocketAddress& address) const;
    // Removes every alias of the connection; the count removed.
    int remove(int connectionId);

    int size() const noexcept { return count_; }

private:
    std::map<std::string, std::map<int, SipConnectionAliasData>> hosts_;
    std::unordered_map<int, int> perConnection_;  // connection ID -> aliases it has
    int count_ = 0;
};

}  // namespace kel_sip
