// Exception-based wrappers over the platform's sockets. Every operation on a closed socket
// throws SocketException NOT_OPENED; failures throw SocketException with the operation's code.
//
// Timeouts are in milliseconds with one meaning throughout: 0 waits without limit, a negative
// value only polls, a positive value waits that long.
//
// Sends never raise SIGPIPE, interrupted calls are retried, IPv6 sockets accept IPv6 only.
// A socket is used by one thread at a time, with one exception: another thread may call
// shutdown to wake a thread blocked in it; the blocked thread then closes the socket.
#pragma once

#include "kel_util/ByteStream.h"
#include "kel_util/SocketAddress.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace kel_util {

class Socket : public ByteSource, public ByteSink {
public:
    using Timeout = std::chrono::milliseconds;
    enum class Readiness { READABLE, WRITABLE };

    Socket() = default;
    ~Socket() override;
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    // Throws NOT_CLOSED when already open, CREATE when the platform refuses.
    void open(int family, int type);
    // Closes when open; never throws. Not while another thread may still use the socket.
    virtual void close() noexcept;
    // SHUT_RD, SHUT_WR or SHUT_RDWR; wakes a thread waiting on the socket. Throws CREATE.
    virtual void shutdown(int how);

    bool isOpen() const noexcept { return handle_ >= 0; }
    int getHandle() const noexcept { return handle_; }
    int getFamily() const noexcept { return family_; }

    void bind(const SocketAddress& address);
    void listen(int backlog);
    SocketAddress getLocalAddress() const;

    void setOption(int level, int name, int value);
    int getOption(int level, int name) const;
    void setBroadcast(bool on);
    void setReceiveBufferSize(int size);
    void setSendBufferSize(int size);
    // Datagrams the system dropped since the socket opened because its receive buffer was
    // full (wraps at 2^32). Throws GET_OPTION.
    std::uint32_t getDropCount() const;
    // Type of service (IPv4) or traffic class (IPv6).
    void setTOS(int tos);
    int getTOS() const;
    // Unicast time to live (IPv4) or hop limit (IPv6).
    void setTTL(int ttl);
    int getTTL() const;
    // Joins group on the interface with address localInterface (IPv4; IPv6 uses the default
    // interface) and sets the multicast TTL; failures throw MULTICAST with the cause attached.
    void joinMulticast(const SocketAddress& group, const SocketAddress& localInterface, int ttl);

    // True when ready, false when the timeout passed first. Throws WAIT.
    bool wait(Readiness readiness, Timeout timeout) const;

    // A negative timeout sends at once; otherwise waits for writability first and returns 0
    // when that times out. Returns the bytes sent; throws SEND.
    virtual int send(const char* data, int length, Timeout timeout);
    int sendTo(const char* data, int length, const SocketAddress& to, Timeout timeout);

    // Waits for readability (0 on time-out), then receives. Throws CONNECTION_CLOSED when the
    // peer closed or the socket was shut down, CONNECTION_RESET, or RECEIVE.
    virtual int receive(char* buffer, int size, Timeout timeout);
    // As receive, also filling in the sender. On a datagram socket a datagram longer than
    // size is consumed and throws DATAGRAM_TRUNCATED: its bytes are never returned cut short.
    int receiveFrom(char* buffer, int size, SocketAddress& from, Timeout timeout);

    // A negative timeout connects blocking: true, or throws CONNECT. Otherwise connects without
    // blocking and waits for completion up to timeout: true when connected, false when the
    // time ran out, CONNECT on failure. The socket is blocking again afterwards in every case.
    bool connect(const SocketAddress& address, Timeout timeout);
    // Waits for a connection (false on time-out) and hands it to accepted, which must be
    // closed. Throws ACCEPT.
    bool accept(Socket& accepted, SocketAddress& peer, Timeout timeout);

    // Throws HOST_NAME.
    static std::string getLocalHostName();

    // ByteSource and ByteSink for the stream readers: one plain recv or send with flags,
    // blocking; the count, 0 when the peer closed (receive), -1 on failure or when closed.
    int receive(char* buffer, int length, int flags) override;
    int send(const char* data, int length, int flags) override;

private:
    int checkedHandle() const;
    // The poll events that occurred, 0 on time-out.
    short poll(short events, Timeout timeout) const;
    void setBlocking(bool blocking);
    bool finishConnect(Timeout timeout);
    int sendChecked(const char* data, int length, const SocketAddress* to, Timeout timeout);
    int receiveChecked(char* buffer, int size, SocketAddress* from, Timeout timeout);
    // An IPPROTO_IP option, or on an IPv6 socket its IPPROTO_IPV6 counterpart.
    void setFamilyOption(int ipv4Name, int ipv6Name, int value);
    int getFamilyOption(int ipv4Name, int ipv6Name) const;

    int handle_ = -1;
    int family_ = 0;
    int type_ = 0;
};

// A socket for datagrams.
class DatagramSocket : public Socket {
public:
    void open(int family) { Socket::open(family, SOCK_DGRAM); }
    // Opens with the address's family and binds to it; closed again when the bind fails.
    void openAndBind(const SocketAddress& address);
};

}  // namespace kel_util
