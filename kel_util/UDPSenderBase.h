// Owns a datagram socket and serialises the sends on it. The UDP listener derives from it,
// receives on the same socket without the lock, and reopens the socket when it fails.
#pragma once

#include "kel_util/Cond.h"
#include "kel_util/Socket.h"
#include "kel_util/SocketAddress.h"

#include <string>

namespace kel_util {

class UDPSenderBase {
public:
    UDPSenderBase() = default;
    virtual ~UDPSenderBase() = default;
    UDPSenderBase(const UDPSenderBase&) = delete;
    UDPSenderBase& operator=(const UDPSenderBase&) = delete;

    // Any thread. Sends one datagram under the socket lock and returns the bytes sent (0 when
    // a non-negative timeout passed first). A SocketException is logged and rethrown; unless it
    // only concerns the destination (unreachable, refused, wrong family, too long), the socket
    // is retired: sends throw NOT_OPENED until a running listener has reopened it.
    int sendTo(const char* data, int length, const SocketAddress& to, Socket::Timeout timeout);

    // Any thread. The address the socket is bound to; throws NOT_OPENED while it is closed.
    SocketAddress getLocalAddress();

protected:
    // Opens and binds a datagram socket, then applies each setting that is 0 or more. Any
    // failure is logged, closes the socket and is rethrown. Called holding socketLock_.
    void _open(const SocketAddress& address, int sendBufferSize, int receiveBufferSize, int tos, int ttl,
               const std::string& device);
    // Shuts the socket down, waking a receiver, and marks it for closing. Holding socketLock_.
    void retire();
    // Closes a retired socket; true when the socket is open and usable. Holding socketLock_.
    bool closeIfRetired();

    Cond socketLock_;  // guards opening, closing and sending; the listener also waits on it
    DatagramSocket socket_;

private:
    void applySetting(const char* name, int value, void (Socket::*set)(int));
    void applyReadBack(const char* name, int value, void (Socket::*set)(int), int (Socket::*get)() const);

    bool retired_ = false;
};

}  // namespace kel_util
