#include "kel_util/Socket.h"

#include "kel_util/SocketException.h"

#include <fcntl.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace kel_util {
namespace {

using Clock = std::chrono::steady_clock;

SocketException systemError(int code, int errorNumber = errno) { return SocketException::fromError(code, errorNumber); }

// Milliseconds left until deadline for poll, rounded up so a wait never ends early.
int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

SocketException connectionClosed() {
    return SocketException("Connection closed", SocketException::CONNECTION_CLOSED);
}

// The count of one receive: 0 bytes means the peer closed, and a datagram longer than the
// buffer (reported whole under MSG_TRUNC) is refused rather than returned cut short.
int checkedCount(ssize_t received, int size) {
    if (received == 0) throw connectionClosed();
    if (received > size) {
        throw SocketException("Datagram truncated, size=" + std::to_string(received),
                              SocketException::DATAGRAM_TRUNCATED);
    }
    return static_cast<int>(received);
}

void checkLength(const char* data, int length, int code) {
    if (length < 0 || (data == nullptr && length > 0)) throw systemError(code, EINVAL);
}

}  // namespace

Socket::~Socket() { close(); }

void Socket::open(int family, int type) {
    if (handle_ >= 0) throw SocketException("Socket not closed", SocketException::NOT_CLOSED);
    const int handle = ::socket(family, type | SOCK_CLOEXEC, 0);
    if (handle < 0) throw systemError(SocketException::CREATE);
    handle_ = handle;
    family_ = family;
    type_ = type;
    if (family == AF_INET6) {
        // Dual-stack sockets would take IPv4 traffic meant for a separate IPv4 listener.
        try {
            setOption(IPPROTO_IPV6, IPV6_V6ONLY, 1);
        } catch (const SocketException&) {
            close();
            throw;
        }
    }
}

void Socket::close() noexcept {
    if (handle_ < 0) return;
    // Not retried on EINTR: Linux has released the descriptor whatever close reports.
    ::close(handle_);
    handle_ = -1;
}

void Socket::shutdown(int how) {
    // An unconnected socket reports ENOTCONN, yet its waiting threads are woken all the same.
    if (::shutdown(checkedHandle(), how) != 0 && errno != ENOTCONN) throw systemError(SocketException::CREATE);
}

int Socket::checkedHandle() const {
    if (handle_ < 0) throw SocketException("Socket not opened", SocketException::NOT_OPENED);
    return handle_;
}

void Socket::bind(const SocketAddress& address) {
    if (::bind(checkedHandle(), address.get(), address.getLength()) != 0) throw systemError(SocketException::BIND);
}

void Socket::listen(int backlog) {
    if (::listen(checkedHandle(), backlog) != 0) throw systemError(SocketException::LISTEN);
}

SocketAddress Socket::getLocalAddress() const {
    SocketAddress address;
    socklen_t length = SocketAddress::capacity();
    if (::getsockname(checkedHandle(), address.fill(), &length) != 0) throw systemError(SocketException::LOCAL_ADDRESS);
    if (!address.commit(length)) throw systemError(SocketException::LOCAL_ADDRESS, EAFNOSUPPORT);
    return address;
}

void Socket::setOption(int level, int name, int value) {
    if (::setsockopt(checkedHandle(), level, name, &value, sizeof value) != 0) {
        throw systemError(SocketException::SET_OPTION);
    }
}

int Socket::getOption(int level, int name) const {
    int value = 0;
    socklen_t length = sizeof value;
    if (::getsockopt(checkedHandle(), level, name, &value, &length) != 0) {
        throw systemError(SocketException::GET_OPTION);
    }
    return value;
}

void Socket::setBroadcast(bool on) { setOption(SOL_SOCKET, SO_BROADCAST, on ? 1 : 0); }
void Socket::setReceiveBufferSize(int size) { setOption(SOL_SOCKET, SO_RCVBUF, size); }
void Socket::setSendBufferSize(int size) { setOption(SOL_SOCKET, SO_SNDBUF, size); }

void Socket::setFamilyOption(int ipv4Name, int ipv6Name, int value) {
    if (family_ == AF_INET6) {
        setOption(IPPROTO_IPV6, ipv6Name, value);
    } else {
        setOption(IPPROTO_IP, ipv4Name, value);
    }
}

int Socket::getFamilyOption(int ipv4Name, int ipv6Name) const {
    return family_ == AF_INET6 ? getOption(IPPROTO_IPV6, ipv6Name) : getOption(IPPROTO_IP, ipv4Name);
}

void Socket::setTOS(int tos) { setFamilyOption(IP_TOS, IPV6_TCLASS, tos); }
int Socket::getTOS() const { return getFamilyOption(IP_TOS, IPV6_TCLASS); }
void Socket::setTTL(int ttl) { setFamilyOption(IP_TTL, IPV6_UNICAST_HOPS, ttl); }
int Socket::getTTL() const { return getFamilyOption(IP_TTL, IPV6_UNICAST_HOPS); }

void Socket::joinMulticast(const SocketAddress& group, const SocketAddress& localInterface, int ttl) {
    const int handle = checkedHandle();
    int result;
    if (group.getFamily() == AF_INET6) {
        ipv6_mreq request{};
        request.ipv6mr_multiaddr = reinterpret_cast<const sockaddr_in6*>(group.get())->sin6_addr;
        result = ::setsockopt(handle, IPPROTO_IPV6, IPV6_JOIN_GROUP, &request, sizeof request);
    } else {
        ip_mreq request{};
        request.imr_multiaddr = reinterpret_cast<const sockaddr_in*>(group.get())->sin_addr;
        if (localInterface.getFamily() == AF_INET) {
            request.imr_interface = reinterpret_cast<const sockaddr_in*>(localInterface.get())->sin_addr;
        }
        result = ::setsockopt(handle, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request);
    }
    if (result != 0) {
        throw SocketException("Failed to add membership", SocketException::MULTICAST,
                              systemError(SocketException::SET_OPTION));
    }
    try {
        setFamilyOption(IP_MULTICAST_TTL, IPV6_MULTICAST_HOPS, ttl);
    } catch (const SocketException& cause) {
        throw SocketException("Failed to set TTL", SocketException::MULTICAST, cause);
    }
}

bool Socket::wait(Readiness readiness, Timeout timeout) const {
    return poll(readiness == Readiness::READABLE ? POLLIN : POLLOUT, timeout) != 0;
}

short Socket::poll(short events, Timeout timeout) const {
    pollfd entry{checkedHandle(), events, 0};
    const bool unlimited = timeout.count() == 0;
    const auto deadline = Clock::now() + (timeout.count() > 0 ? timeout : Timeout(0));
    for (;;) {
        const int result = ::poll(&entry, 1, unlimited ? -1 : remainingMs(deadline));
        if (result < 0 && errno == EINTR) continue;
        if (result < 0) throw systemError(SocketException::WAIT);
        if ((entry.revents & POLLNVAL) != 0) throw systemError(SocketException::WAIT, EBADF);
        // An error or hang-up also counts as ready: the next call reports it.
        return result == 0 ? 0 : entry.revents;
    }
}

int Socket::send(const char* data, int length, Timeout timeout) { return sendChecked(data, length, nullptr, timeout); }

int Socket::sendTo(const char* data, int length, const SocketAddress& to, Timeout timeout) {
    return sendChecked(data, length, &to, timeout);
}

int Socket::sendChecked(const char* data, int length, const SocketAddress* to, Timeout timeout) {
    const int handle = checkedHandle();
    checkLength(data, length, SocketException::SEND);
    if (timeout.count() >= 0 && !wait(Readiness::WRITABLE, timeout)) return 0;
    ssize_t sent;
    do {
        sent = ::sendto(handle, data, static_cast<size_t>(length), MSG_NOSIGNAL, to != nullptr ? to->get() : nullptr,
                        to != nullptr ? to->getLength() : 0);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) throw systemError(SocketException::SEND);
    return static_cast<int>(sent);
}

int Socket::receive(char* buffer, int size, Timeout timeout) {
    return receiveChecked(buffer, size, nullptr, timeout);
}

int Socket::receiveFrom(char* buffer, int size, SocketAddress& from, Timeout timeout) {
    return receiveChecked(buffer, size, &from, timeout);
}

int Socket::receiveChecked(char* buffer, int size, SocketAddress* from, Timeout timeout) {
    const int handle = checkedHandle();
    checkLength(buffer, size, SocketException::RECEIVE);
    // MSG_TRUNC makes a datagram socket report the datagram's whole length.
    const int flags = MSG_DONTWAIT | (type_ == SOCK_DGRAM ? MSG_TRUNC : 0);
    // Under load a datagram is usually waiting already: reading before polling saves a system
    // call per datagram.
    short events = POLLIN;
    for (bool polled = false;; polled = true) {
        if (polled) {
            events = poll(POLLIN | POLLRDHUP, timeout);
            if (events == 0) return 0;
        }
        socklen_t fromLength = SocketAddress::capacity();
        const ssize_t received = ::recvfrom(handle, buffer, static_cast<size_t>(size), flags,
                                            from != nullptr ? from->fill() : nullptr,
                                            from != nullptr ? &fromLength : nullptr);
        if (received >= 0) {
            if (from != nullptr) from->commit(fromLength);
            return checkedCount(received, size);
        }
        if (errno == EINTR) continue;
        if (errno == ECONNRESET) throw SocketException("Connection reset", SocketException::CONNECTION_RESET);
        if (errno != EAGAIN && errno != EWOULDBLOCK) throw systemError(SocketException::RECEIVE);
        if (!polled) continue;
        // Readable yet empty: a shut-down datagram socket polls readable without data, and
        // Linux drops a datagram with a bad checksum only when it is read (hence MSG_DONTWAIT).
        if ((events & (POLLRDHUP | POLLHUP)) != 0) throw connectionClosed();
        if (timeout.count() != 0) return 0;
    }
}

std::uint32_t Socket::getDropCount() const {
    std::uint32_t memory[SK_MEMINFO_VARS] = {};
    socklen_t length = sizeof(memory);
    if (::getsockopt(checkedHandle(), SOL_SOCKET, SO_MEMINFO, memory, &length) != 0) {
        throw systemError(SocketException::GET_OPTION);
    }
    return length > SK_MEMINFO_DROPS * sizeof(std::uint32_t) ? memory[SK_MEMINFO_DROPS] : 0;
}

void Socket::setBlocking(bool blocking) {
    const int handle = checkedHandle();
    const int flags = ::fcntl(handle, F_GETFL);
    const int wanted = flags < 0 ? flags : (blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK);
    if (flags < 0 || ::fcntl(handle, F_SETFL, wanted) != 0) {
        throw blocking ? SocketException("Failed to block socket", SocketException::BLOCK)
                       : SocketException("Failed to unblock socket", SocketException::UNBLOCK);
    }
}

bool Socket::finishConnect(Timeout timeout) {
    if (!wait(Readiness::WRITABLE, timeout)) return false;
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) throw systemError(SocketException::CONNECT, error);
    return true;
}

bool Socket::connect(const SocketAddress& address, Timeout timeout) {
    const int handle = checkedHandle();
    if (timeout.count() < 0) {
        if (::connect(handle, address.get(), address.getLength()) == 0) return true;
        // An interrupted connect goes on in the background; wait for its outcome.
        if (errno != EINTR) throw systemError(SocketException::CONNECT);
        return finishConnect(Timeout(0));
    }
    setBlocking(false);
    bool connected;
    try {
        if (::connect(handle, address.get(), address.getLength()) == 0) {
            connected = true;
        } else if (errno == EINPROGRESS || errno == EINTR) {
            connected = finishConnect(timeout);
        } else {
            throw systemError(SocketException::CONNECT);
        }
    } catch (const SocketException&) {
        try {
            setBlocking(true);
        } catch (const SocketException&) {
            // The connect failure is the one the caller needs to see.
        }
        throw;
    }
    setBlocking(true);
    return connected;
}

bool Socket::accept(Socket& accepted, SocketAddress& peer, Timeout timeout) {
    const int handle = checkedHandle();
    if (accepted.isOpen()) throw SocketException("Socket not closed", SocketException::NOT_CLOSED);
    if (!wait(Readiness::READABLE, timeout)) return false;
    socklen_t length = SocketAddress::capacity();
    int connection;
    do {
        connection = ::accept4(handle, peer.fill(), &length, SOCK_CLOEXEC);
    } while (connection < 0 && errno == EINTR);
    if (connection < 0) throw systemError(SocketException::ACCEPT);
    peer.commit(length);
    accepted.handle_ = connection;
    accepted.family_ = family_;
    accepted.type_ = type_;
    return true;
}

std::string Socket::getLocalHostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0) throw systemError(SocketException::HOST_NAME);
    return name;
}

int Socket::receive(char* buffer, int length, int flags) {
    if (handle_ < 0 || length < 0) return -1;
    ssize_t received;
    do {
        received = ::recv(handle_, buffer, static_cast<size_t>(length), flags);
    } while (received < 0 && errno == EINTR);
    return static_cast<int>(received);
}

int Socket::send(const char* data, int length, int flags) {
    if (handle_ < 0 || length < 0) return -1;
    ssize_t sent;
    do {
        sent = ::send(handle_, data, static_cast<size_t>(length), flags | MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return static_cast<int>(sent);
}

void DatagramSocket::openAndBind(const SocketAddress& address) {
    open(address.getFamily());
    try {
        bind(address);
    } catch (const SocketException&) {
        close();
        throw;
    }
}

}  // namespace kel_util
