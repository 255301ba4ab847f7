#include "phone/LocalAddress.h"

#include "kel_util/SocketAddress.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>

#include <memory>

namespace {

// The numeric text of an interface address with its zone for link-local IPv6; empty when it
// cannot be printed.
std::string numericHost(const sockaddr* address) {
    const socklen_t length = address->sa_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    char host[NI_MAXHOST];
    if (::getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) return {};
    return host;
}

}  // namespace

std::vector<std::string> LocalAddressChooser::interfaceAddresses() {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return {};
    const std::unique_ptr<ifaddrs, void (*)(ifaddrs*)> owner(list, ::freeifaddrs);
    std::vector<std::string> outward;
    std::vector<std::string> loopback;
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr == nullptr || (entry->ifa_flags & IFF_UP) == 0) continue;
        const int family = entry->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6) continue;
        const std::string host = numericHost(entry->ifa_addr);
        if (host.empty() || host == "::1") continue;
        ((entry->ifa_flags & IFF_LOOPBACK) != 0 ? loopback : outward).push_back(host);
    }
    outward.insert(outward.end(), loopback.begin(), loopback.end());
    return outward;
}

bool LocalAddressChooser::choose(const std::vector<std::string>& candidates, std::string& chosen, std::string& note) {
    note.clear();
    if (candidates.empty()) return false;
    chosen = candidates.front();
    if (candidates.size() > 1) {
        note = "Several local addresses (";
        for (std::size_t i = 0; i < candidates.size(); ++i) note += (i == 0 ? "" : ", ") + candidates[i];
        note += "); using " + chosen + ". Choose another with -a <address>.";
    }
    return true;
}

bool LocalAddressChooser::resolve(const std::string& address, const std::string& hostName, LocalAddress& result,
                                  std::string& error) {
    kel_util::SocketAddress socketAddress;
    if (address.empty() || !socketAddress.set(0, address.c_str(), AF_UNSPEC)) {
        error = "Failed to set SocketAddress=[" + address + "].";
        return false;
    }
    result.address = address;
    result.withoutZone = address.substr(0, address.find('%'));
    result.hostName = hostName;
    result.family = socketAddress.getFamily();
    return true;
}
