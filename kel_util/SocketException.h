// The error of every socket operation: a fixed code naming the operation that failed and a
// message, either fixed ("Socket not opened") or the system's text for the socket error.
#pragma once

#include "kel_util/Exception.h"

#include <string>

namespace kel_util {

class SocketException : public BaseException {
public:
    // Codes name the failing operation; callers branch on them (a listener tolerates BIND).
    enum Code : int {
        HOST_NAME = 1,           // reading the local host name
        ADDRESS_TEXT = 3,        // printing an address numerically
        NOT_CLOSED = 10,         // open on an open socket
        CREATE = 11,             // socket creation, shutdown
        NOT_OPENED = 12,         // any operation on a closed socket
        UNBLOCK = 13,            // switching to non-blocking
        BLOCK = 14,              // switching back to blocking
        SET_OPTION = 15,
        BIND = 16,
        LISTEN = 17,
        WAIT = 18,               // waiting for readiness
        CONNECT = 19,
        ACCEPT = 21,
        SEND = 22,
        CONNECTION_CLOSED = 23,  // a receive returned 0 bytes
        RECEIVE = 24,
        LOCAL_ADDRESS = 26,
        GET_OPTION = 27,
        MULTICAST = 28,          // joining a group or setting its TTL, with the cause attached
        CONNECTION_RESET = 30,
        DATAGRAM_TRUNCATED = 31, // a datagram larger than the receive buffer, dropped
    };

    // A fixed message.
    SocketException(std::string message, int code) : BaseException(std::move(message), code) {}
    SocketException(std::string message, int code, const Throwable& cause)
        : BaseException(std::move(message), code, cause) {}
    // The system's text for errorNumber followed by " (errorNumber)".
    static SocketException fromError(int code, int errorNumber);

    // The errno behind a system error, 0 for fixed messages.
    int getErrorNumber() const noexcept { return errorNumber_; }

    std::unique_ptr<Throwable> clone() const override { return std::make_unique<SocketException>(*this); }

private:
    int errorNumber_ = 0;
};

}  // namespace kel_util
