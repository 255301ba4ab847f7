// Loopback helpers for the network tests: addresses on 127.0.0.1 and ::1 and ports found free
// by binding to port 0.
#pragma once

#include "kel_util/Socket.h"
#include "kel_util/SocketAddress.h"

#include <chrono>
#include <functional>
#include <thread>

namespace kel_util::test {

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

// Polls condition until it holds or the generous deadline passes.
inline bool eventually(const std::function<bool()>& condition,
                       std::chrono::milliseconds deadline = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace kel_util::test
