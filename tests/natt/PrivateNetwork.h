// Moves the calling test process into a network namespace of its own with the loopback
// interface up and multicast routed over it, so that the SSDP port 1900 and the group
// 239.255.255.250 are free for each test. Needs root (CAP_SYS_ADMIN); tests skip without it.
// Call before any thread starts: threads made later inherit the namespace.
#pragma once

#include <sched.h>

#include <cstdlib>

namespace natt_test {

inline bool enterPrivateNetwork() {
    if (::unshare(CLONE_NEWNET) != 0) return false;
    return std::system("ip link set lo up multicast on && ip route add 224.0.0.0/4 dev lo") == 0;
}

}  // namespace natt_test
