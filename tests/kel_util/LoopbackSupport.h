// Loopback helpers for the network tests: addresses on 127.0.0.1 and ::1 and ports found free
// by binding to port 0.
#pragma once

#include "kel_util/Socket.h"
#include "kel_util/SocketAddress.h"

namespace kel_test {

using kel_util::DatagramSocket;
using kel_util::Socket;
using kel_util::SocketAddress;

inline SocketAddress loopback(int family, int port = 0) {
    SocketAddress address(family);
    address.set(port, family == AF_INET6 ? "::1" : "127.0.0.1", family);
    return address;
}

// False where the machine has no ::1 (for example a container without IPv6).
inline bool hasLoopback(int family) {
    DatagramSocket probe;
    try {
        probe.openAndBind(loopback(family));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A port of the given type that was free a moment ago.
inline int freePort(int family, int type = SOCK_DGRAM) {
    Socket probe;
    probe.open(family, type);
    probe.bind(loopback(family));
    return probe.getLocalAddress().getPort();
}

}  // namespace kel_test
