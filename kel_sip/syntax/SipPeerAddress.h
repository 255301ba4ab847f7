// Where a message came from or goes to, as host text and port. The syntax layer names the
// address; the transport turns it into its socket address when it sends (resolving a host
// name there), and stores a datagram's or connection's source here in numeric form, so that
// the syntax layer depends on no socket code.
#pragma once

#include <string>

namespace kel_sip {

struct SipPeerAddress {
    std::string host;  // a name, an IPv4 address, or an IPv6 address without brackets
    int port = 0;      // 1..65535; 0 when not set

    bool empty() const { return host.empty(); }
    void clear() {
        host.clear();
        port = 0;
    }
    // "host:port", with the IPv6 host in brackets: "[2001:db8::1]:5060".
    std::string toString() const;

    bool operator==(const SipPeerAddress&) const = default;
};

}  // namespace kel_sip
