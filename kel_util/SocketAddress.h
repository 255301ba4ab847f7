// An IPv4 or IPv6 socket address with its port, as the platform's socket calls take it.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <vector>

namespace kel_util {

class SocketAddress {
public:
    // The empty address of a family: AF_INET (0.0.0.0:0) or AF_INET6 ([::]:0).
    explicit SocketAddress(int family = AF_INET);

    // Resolves host (a name or numeric text; null or empty for the wildcard address) with
    // port (0 to 65535) in family (AF_INET, AF_INET6 or AF_UNSPEC for either) and takes the
    // first IPv4 or IPv6 answer. False, leaving this address unchanged, when there is none.
    bool set(int port, const char* host, int family);
    // Every IPv4 and IPv6 answer for the same question, in the resolver's order.
    static std::vector<SocketAddress> resolveAll(int port, const char* host, int family);

    // Copies a platform address; false (and unchanged) unless it is IPv4 or IPv6 and complete.
    bool assign(const sockaddr* address, socklen_t length);

    int getFamily() const noexcept { return storage_.ss_family; }
    int getPort() const noexcept;
    void setPort(int port) noexcept;
    // The numeric host text ("192.0.2.1", "2001:db8::1"); throws SocketException ADDRESS_TEXT.
    std::string getHost() const;
    // "192.0.2.1:5060", "[2001:db8::1]:5060", or "unknown" when the address cannot be printed.
    std::string toString() const;

    // Family, port and address bytes; the IPv6 flow label and scope are ignored.
    bool operator==(const SocketAddress& other) const noexcept;

    const sockaddr* get() const noexcept { return reinterpret_cast<const sockaddr*>(&storage_); }
    socklen_t getLength() const noexcept { return length_; }

    // For calls that fill an address in (recvfrom, accept): the whole storage, then the length
    // the call reported. commit rejects what is not a complete IPv4 or IPv6 address.
    sockaddr* fill() noexcept { return reinterpret_cast<sockaddr*>(&storage_); }
    static constexpr socklen_t capacity() noexcept { return sizeof(sockaddr_storage); }
    bool commit(socklen_t length) noexcept;

private:
    // set for an IPv4 or IPv6 literal of the family (either for AF_UNSPEC); false otherwise.
    bool setLiteral(int port, const char* host, int family);

    sockaddr_storage storage_{};
    socklen_t length_ = 0;
};

}  // namespace kel_util
