#include "kel_util/SocketAddress.h"

#include "kel_util/SocketException.h"

#include <arpa/inet.h>
#include <netdb.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace kel_util {
namespace {

constexpr int MAX_PORT = 65535;

bool isInet(int family) { return family == AF_INET || family == AF_INET6; }

socklen_t lengthOf(int family) { return family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in); }

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddrInfoList = std::unique_ptr<addrinfo, AddrInfoFree>;

// Asks the resolver; an empty list when the arguments are out of range or nothing is found.
AddrInfoList resolve(int port, const char* host, int family) {
    if (port < 0 || port > MAX_PORT || !(isInet(family) || family == AF_UNSPEC)) return nullptr;
    const bool wildcard = host == nullptr || *host == '\0';
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;  // one answer per address instead of one per socket type
    // The port always goes in as a numeric service: the resolver refuses a wildcard query
    // that names neither a host nor a service.
    hints.ai_flags = (wildcard ? AI_PASSIVE : 0) | AI_NUMERICSERV;
    const std::string service = std::to_string(port);
    addrinfo* list = nullptr;
    if (getaddrinfo(wildcard ? nullptr : host, service.c_str(), &hints, &list) != 0) {
        return nullptr;
    }
    return AddrInfoList(list);
}

}  // namespace

SocketAddress::SocketAddress(int family) {
    if (!isInet(family)) family = AF_INET;
    storage_.ss_family = static_cast<sa_family_t>(family);
    length_ = lengthOf(family);
}

bool SocketAddress::set(int port, const char* host, int family) {
    if (setLiteral(port, host, family)) return true;
    const AddrInfoList list = resolve(port, host, family);
    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        if (assign(entry->ai_addr, entry->ai_addrlen)) return true;
    }
    return false;
}

// Every message sent costs a resolution of its destination, nearly always an address
// literal: those that inet_pton reads are filled in directly, as the resolver would.
bool SocketAddress::setLiteral(int port, const char* host, int family) {
    if (port < 0 || port > MAX_PORT || host == nullptr) return false;
    sockaddr_storage storage{};
    if (family != AF_INET6) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
        if (inet_pton(AF_INET, host, &v4->sin_addr) == 1) {
            v4->sin_family = AF_INET;
            v4->sin_port = htons(static_cast<std::uint16_t>(port));
            return assign(reinterpret_cast<const sockaddr*>(&storage), sizeof(sockaddr_in));
        }
    }
    if (family != AF_INET) {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
        if (inet_pton(AF_INET6, host, &v6->sin6_addr) == 1) {
            v6->sin6_family = AF_INET6;
            v6->sin6_port = htons(static_cast<std::uint16_t>(port));
            return assign(reinterpret_cast<const sockaddr*>(&storage), sizeof(sockaddr_in6));
        }
    }
    return false;
}

std::vector<SocketAddress> SocketAddress::resolveAll(int port, const char* host, int family) {
    std::vector<SocketAddress> addresses;
    const AddrInfoList list = resolve(port, host, family);
    for (const addrinfo* entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        SocketAddress address;
        if (address.assign(entry->ai_addr, entry->ai_addrlen)) addresses.push_back(address);
    }
    return addresses;
}

bool SocketAddress::assign(const sockaddr* address, socklen_t length) {
    if (address == nullptr || !isInet(address->sa_family) || length < lengthOf(address->sa_family)) return false;
    storage_ = {};
    std::memcpy(&storage_, address, lengthOf(address->sa_family));
    length_ = lengthOf(address->sa_family);
    return true;
}

bool SocketAddress::commit(socklen_t length) noexcept {
    if (!isInet(storage_.ss_family) || length < lengthOf(storage_.ss_family)) return false;
    length_ = lengthOf(storage_.ss_family);
    return true;
}

int SocketAddress::getPort() const noexcept {
    if (storage_.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in*>(&storage_)->sin_port);
}

void SocketAddress::setPort(int port) noexcept {
    const auto value = htons(static_cast<std::uint16_t>(port));
    if (storage_.ss_family == AF_INET6) {
        reinterpret_cast<sockaddr_in6*>(&storage_)->sin6_port = value;
    } else {
        reinterpret_cast<sockaddr_in*>(&storage_)->sin_port = value;
    }
}

std::string SocketAddress::getHost() const {
    char host[NI_MAXHOST];
    // inet_ntop prints what getnameinfo would, without its cost, but for an IPv6 scope.
    if (storage_.ss_family == AF_INET) {
        if (inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr, host, sizeof host) != nullptr) {
            return host;
        }
    } else if (const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&storage_);
               storage_.ss_family == AF_INET6 && v6->sin6_scope_id == 0) {
        if (inet_ntop(AF_INET6, &v6->sin6_addr, host, sizeof host) != nullptr) return host;
    }
    // getnameinfo would print other families too (AF_UNIX as "localhost").
    const int result = isInet(storage_.ss_family)
                           ? getnameinfo(get(), length_, host, sizeof host, nullptr, 0, NI_NUMERICHOST)
                           : EAI_FAMILY;
    if (result != 0) {
        throw SocketException(result == EAI_SYSTEM ? errorText(errno) : gai_strerror(result),
                              SocketException::ADDRESS_TEXT);
    }
    return host;
}

std::string SocketAddress::toString() const {
    try {
        const std::string host = getHost();
        const std::string port = std::to_string(getPort());
        return storage_.ss_family == AF_INET6 ? "[" + host + "]:" + port : host + ":" + port;
    } catch (const SocketException&) {
        return "unknown";
    }
}

bool SocketAddress::operator==(const SocketAddress& other) const noexcept {
    if (storage_.ss_family != other.storage_.ss_family || getPort() != other.getPort()) return false;
    if (storage_.ss_family == AF_INET6) {
        return std::memcmp(&reinterpret_cast<const sockaddr_in6*>(&storage_)->sin6_addr,
                           &reinterpret_cast<const sockaddr_in6*>(&other.storage_)->sin6_addr,
                           sizeof(in6_addr)) == 0;
    }
    return reinterpret_cast<const sockaddr_in*>(&storage_)->sin_addr.s_addr ==
           reinterpret_cast<const sockaddr_in*>(&other.storage_)->sin_addr.s_addr;
}

}  // namespace kel_util
