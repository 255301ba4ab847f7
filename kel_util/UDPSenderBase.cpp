#include "kel_util/UDPSenderBase.h"

#include "kel_util/Log.h"
#include "kel_util/Mutex.h"
#include "kel_util/SocketException.h"

#include <cerrno>

namespace kel_util {
namespace {

// Errors about one destination (often taken from a peer's message): the socket stays usable,
// so they must not take the listening socket down.
bool concernsDestination(const SocketException& error) {
    switch (error.getErrorNumber()) {
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ECONNREFUSED:
    case EAFNOSUPPORT:
    case EINVAL:
    case EMSGSIZE:
    case EPERM:
    case EACCES:
    case ENOBUFS:
    case EAGAIN:
        return true;
    default:
        return false;
    }
}

}  // namespace

int UDPSenderBase::sendTo(const char* data, int length, const SocketAddress& to, Socket::Timeout timeout) {
    ScopedLock<Cond> guard(socketLock_);
    try {
        if (retired_) throw SocketException("Socket not opened", SocketException::NOT_OPENED);
        return socket_.sendTo(data, length, to, timeout);
    } catch (const SocketException& error) {
        logPrint(MIN, "UDPSenderBase::sendTo. SocketException [%s](%d).\n", error.toString().c_str(), error.getCode());
        if (error.getCode() != SocketException::NOT_OPENED && !concernsDestination(error)) retire();
        throw;
    }
}

SocketAddress UDPSenderBase::getLocalAddress() {
    ScopedLock<Cond> guard(socketLock_);
    if (retired_) throw SocketException("Socket not opened", SocketException::NOT_OPENED);
    return socket_.getLocalAddress();
}

void UDPSenderBase::retire() {
    if (!socket_.isOpen()) return;
    try {
        socket_.shutdown(SHUT_RDWR);
    } catch (const SocketException& error) {
        logPrint(DEV, "UDPSenderBase::retire. SocketException [%s](%d).\n", error.toString().c_str(), error.getCode());
    }
    retired_ = true;
}

bool UDPSenderBase::closeIfRetired() {
    if (retired_) {
        socket_.close();
        retired_ = false;
    }
    return socket_.isOpen();
}

void UDPSenderBase::_open(const SocketAddress& address, int sendBufferSize, int receiveBufferSize, int tos, int ttl,
                          const std::string& device) {
    closeIfRetired();
    try {
        socket_.openAndBind(address);
    } catch (const SocketException& error) {
        logPrint(DEV, "UDPSenderBase::_open. Failed open UDP socket, SocketAddress=[%s], device=[%s], SocketException [%s](%d).\n",
                 address.toString().c_str(), device.c_str(), error.toString().c_str(), error.getCode());
        socket_.close();
        throw;
    }
    logPrint(DBG, "UDPSenderBase::_open. Succeeded open UDP socket, SocketAddress=[%s], device=[%s].\n",
             address.toString().c_str(), device.c_str());
    try {
        applySetting("send buffer size", sendBufferSize, &Socket::setSendBufferSize);
        applySetting("receive buffer size", receiveBufferSize, &Socket::setReceiveBufferSize);
        applyReadBack("TOS", tos, &Socket::setTOS, &Socket::getTOS);
        applyReadBack("TTL", ttl, &Socket::setTTL, &Socket::getTTL);
    } catch (const SocketException&) {
        socket_.close();  // a half-configured socket would otherwise be taken as ready
        throw;
    }
}

void UDPSenderBase::applySetting(const char* name, int value, void (Socket::*set)(int)) {
    if (value < 0) return;
    try {
        (socket_.*set)(value);
    } catch (const SocketException& error) {
        logPrint(MIN, "UDPSenderBase::_open. Failed set %s, SocketException [%s](%d).\n", name,
                 error.toString().c_str(), error.getCode());
        throw;
    }
}

void UDPSenderBase::applyReadBack(const char* name, int value, void (Socket::*set)(int), int (Socket::*get)() const) {
    if (value < 0) return;
    applySetting(name, value, set);
    try {
        logPrint(DBG, "UDPSenderBase::_open. Set %s=%d.\n", name, (socket_.*get)());
    } catch (const SocketException& error) {
        logPrint(MIN, "UDPSenderBase::_open. Failed get %s, SocketException [%s](%d).\n", name,
                 error.toString().c_str(), error.getCode());
    }
}

}  // namespace kel_util
