#include "kel_util/UDPPortListener.h"

#include "kel_util/DatagramReceiver.h"
#include "kel_util/Log.h"
#include "kel_util/Mutex.h"
#include "kel_util/SocketException.h"

#include <memory>

namespace kel_util {

UDPPortListener::~UDPPortListener() { stop(); }

bool UDPPortListener::init(int port, const char* host, int family, bool tolerateBindFailure, const std::string& device) {
    SocketAddress address(family);
    if (!address.set(port, host, family)) {
        logPrint(MIN, "UDPPortListener::init. Failed to set bind address, port=%d, address=[%s], family=%d.\n", port,
                 host != nullptr ? host : "NULL", family);
        return false;
    }
    return init(address, tolerateBindFailure, device);
}

bool UDPPortListener::init(const SocketAddress& address, bool tolerateBindFailure, const std::string& device) {
    if (isRunning()) {
        logPrint(MIN, "UDPPortListener::init. Already running.\n");
        return false;
    }
    {
        ScopedLock<Cond> guard(socketLock_);
        if (closeIfRetired()) {
            logPrint(MIN, "UDPPortListener::init. Already socket opened.\n");
            return false;
        }
        address_ = address;
        device_ = device;
        try {
            _open(address_, socketBufferSize_, socketBufferSize_, tos_, ttl_, device_);
            logPrint(DBG, "UDPPortListener::init. Succeeded _open.\n");
        } catch (const SocketException& error) {
            logPrint(MIN, "UDPPortListener::init. Failed _open, SocketException [%s](%d).\n", error.toString().c_str(),
                     error.getCode());
            if (!tolerateBindFailure || error.getCode() != SocketException::BIND) throw;
        }
    }
    setName("UDPPortListener:" + address_.toString());
    bool started = false;
    try {
        join();  // a thread stopped earlier must be gone before it starts again
        started = start();
    } catch (const SystemException& error) {
        logPrint(MIN, "UDPPortListener::init. Failed start, %s.\n", error.toString().c_str());
    }
    if (!started) {
        logPrint(MIN, "UDPPortListener::init. Failed start.\n");
        ScopedLock<Cond> guard(socketLock_);
        socket_.close();
        return false;
    }
    logPrint(DBG, "UDPPortListener::init. Succeeded start.\n");
    return true;
}

void UDPPortListener::stop() {
    Thread::stop();
    {
        // Wakes a receive in progress; the thread itself, or the close below, closes the socket.
        ScopedLock<Cond> guard(socketLock_);
        retire();
    }
    socketLock_.notify();  // ends a wait for the reopen interval
    join();
    ScopedLock<Cond> guard(socketLock_);
    closeIfRetired();
    socket_.close();
}

void UDPPortListener::run() {
    logPrint(DET, "UDPPortListener::run. Starting UDPPortListener on address=[%s], device=[%s].\n",
             address_.toString().c_str(), device_.c_str());
    std::vector<char> buffer(static_cast<std::size_t>(receiveBufferSize_ > 0 ? receiveBufferSize_ : 1));
    while (isRunning()) {
        if (!ensureOpen()) continue;
        receiveOne(buffer);
        reportSocketDrops();
    }
    logPrint(DBG, "UDPPortListener::run. Stopping UDPPortListener.\n");
}

bool UDPPortListener::ensureOpen() {
    ScopedLock<Cond> guard(socketLock_);
    if (closeIfRetired()) return true;
    if (!isRunning()) return false;
    try {
        _open(address_, socketBufferSize_, socketBufferSize_, tos_, ttl_, device_);
        logPrint(DBG, "UDPPortListener::run. Succeeded open .\n");
        return true;
    } catch (const SocketException& error) {
        logPrint(error.getCode() == SocketException::BIND ? DEV : MIN,
                 "UDPPortListener::run. Failed _open, SocketException [%s](%d).\n", error.toString().c_str(),
                 error.getCode());
    }
    socketLock_.wait(static_cast<int>(reopenInterval_.count()));
    return false;
}

void UDPPortListener::receiveOne(std::vector<char>& buffer) {
    SocketAddress from;
    try {
        // Without the lock, so that sends are not held up; only this thread closes the socket.
        const int received = socket_.receiveFrom(buffer.data(), static_cast<int>(buffer.size()), from, receiveTimeout_);
        if (received == 0) {
            logPrint(DEV, "UDPPortListener::run. Socket receive timeout, value=%d.\n",
                     static_cast<int>(receiveTimeout_.count()));
            return;
        }
        if (isLogged(DEV)) {  // printing the address costs a resolver call per datagram
            logPrint(DEV, "UDPPortListener::run. Received UDP bytes=%d, from [%s].\n", received, from.toString().c_str());
        }
        if (receiver_ != nullptr) receiver_->onDatagram(buffer.data(), received, from, *this);
    } catch (const SocketException& error) {
        if (error.getCode() == SocketException::CONNECTION_CLOSED) {
            // Either an empty datagram or a socket shut down by stop or a failed send; in the
            // latter case the next ensureOpen closes it.
            logPrint(DBG, "UDPPortListener::run. Received 0 size UDP packet from [%s].\n", from.toString().c_str());
        } else if (error.getCode() == SocketException::DATAGRAM_TRUNCATED) {
            logPrint(MIN, "UDPPortListener::run. Dropped a datagram larger than the receive buffer of %d bytes, %s, from [%s].\n",
                     static_cast<int>(buffer.size()), error.getMessage().c_str(), from.toString().c_str());
        } else {
            logPrint(MIN, "UDPPortListener::run. SocketException [%s](%d).\n", error.toString().c_str(), error.getCode());
            closeAfterError();
        }
    }
}

void UDPPortListener::closeAfterError() {
    ScopedLock<Cond> guard(socketLock_);
    closeIfRetired();
    socket_.close();
}

void UDPPortListener::reportSocketDrops() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDropCheck_ < std::chrono::seconds(1)) return;
    lastDropCheck_ = now;
    std::uint32_t drops = 0;
    try {
        drops = socket_.getDropCount();  // this thread alone closes the socket
    } catch (const SocketException&) {
        return;  // closed or retired: the next open starts a new count
    }
    if (drops == socketDrops_) return;
    if (drops > socketDrops_) {
        logPrint(MIN, "UDPPortListener::run. The socket dropped %u datagrams its receive buffer could not hold, %u in all.\n",
                 drops - socketDrops_, drops);
    }
    socketDrops_ = drops;
}

}  // namespace kel_util
