#include "kel_sip/transport/SipTCPPortListener.h"

#include <sys/socket.h>

#include <cerrno>

#include "kel_util/Log.h"
#include "kel_util/Mutex.h"
#include "kel_util/SocketException.h"

using kel_util::Cond;
using kel_util::DET;
using kel_util::DEV;
using kel_util::logPrint;
using kel_util::MIN;
using kel_util::ScopedLock;
using kel_util::SocketException;

namespace kel_sip {

namespace {

// accept failures that leave the listen socket sound and pass once descriptors or memory free up.
bool isResourceShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

// accept failures of one connection that went away while it waited in the backlog.
bool isConnectionGone(int error) { return error == ECONNABORTED || error == EPROTO || error == EPERM; }

}  // namespace

SipTCPPortListener::~SipTCPPortListener() { stop(); }

void SipTCPPortListener::open(const kel_util::SocketAddress& address) {
    ScopedLock<Cond> guard(socketLock_);
    address_ = address;
    _open();
}

void SipTCPPortListener::setAddress(const kel_util::SocketAddress& address) {
    ScopedLock<Cond> guard(socketLock_);
    address_ = address;
}

kel_util::SocketAddress SipTCPPortListener::getLocalAddress() {
    ScopedLock<Cond> guard(socketLock_);
    return listen_.getLocalAddress();
}

void SipTCPPortListener::_open() {
    try {
        listen_.open(address_.getFamily(), SOCK_STREAM);
        logPrint(DET, "SipTCPPortListener::open. Succeeded open socket.\n");
    } catch (const SocketException& error) {
        logPrint(MIN, "SipTCPPortListener::open. Failed open socket, SocketException [%s](%d).\n",
                 error.toString().c_str(), error.getCode());
        throw;
    }
    try {
        listen_.setOption(SOL_SOCKET, SO_REUSEADDR, 1);
        listen_.bind(address_);
        logPrint(DET, "SipTCPPortListener::open. Succeeded bind socket, SocketAddress=[%s].\n", address_.toString().c_str());
        listen_.listen(kListenBackLog);
        logPrint(DET, "SipTCPPortListener::open. Succeeded listen socket, ListenBackLog=%d.\n", kListenBackLog);
    } catch (const SocketException& error) {
        logPrint(MIN, "SipTCPPortListener::open. Failed bind or listen socket, SocketAddress=[%s], SocketException [%s](%d).\n",
                 address_.toString().c_str(), error.toString().c_str(), error.getCode());
        listen_.close();
        throw;
    }
}

void SipTCPPortListener::stop() {
    kel_util::Thread::stop();
    {
        ScopedLock<Cond> guard(socketLock_);
        try {
            if (listen_.isOpen()) listen_.shutdown(SHUT_RDWR);  // wakes a waiting accept
        } catch (const SocketException&) {
            // Not listening yet: the accept time-out ends the wait.
        }
    }
    socketLock_.notify();  // ends a pause
    join();
    ScopedLock<Cond> guard(socketLock_);
    listen_.close();
}

void SipTCPPortListener::run() {
    logPrint(DET, "SipTCPPortListener::run. Starting SipTCPPortListener on port=%d.\n", address_.getPort());
    while (isRunning()) {
        if (ensureOpen()) acceptOne();
    }
    logPrint(DET, "SipTCPPortListener::run. Stopping SipTCPPortListener.\n");
}

bool SipTCPPortListener::ensureOpen() {
    {
        ScopedLock<Cond> guard(socketLock_);
        if (listen_.isOpen()) return true;
        try {
            _open();
            logPrint(DET, "SipTCPPortListener::run. Succeeded open .\n");
            return true;
        } catch (const SocketException&) {
            logPrint(MIN, "SipTCPPortListener::run. Failed open .\n");
        }
    }
    pause(reopenInterval_);
    return false;
}

void SipTCPPortListener::acceptOne() {
    auto socket = std::make_unique<kel_util::Socket>();
    kel_util::SocketAddress peer(listen_.getFamily());
    const auto timeout = acceptTimeout_.load();
    try {
        if (!listen_.accept(*socket, peer, timeout)) {
            logPrint(DEV, "SipTCPPortListener::run. Socket accept timeout, value=%d.\n", static_cast<int>(timeout.count()));
            return;
        }
    } catch (const SocketException& error) {
        if (isRunning()) onAcceptFailure(error);
        return;
    }
    const std::string from = peer.toString();
    logPrint(DET, "SipTCPPortListener::run. Accepted connection from [%s].\n", from.c_str());
    if (owner_.onAccepted(std::move(socket), peer)) {
        logPrint(DET, "SipTCPPortListener::run. Succeeded onAccepted, from [%s].\n", from.c_str());
    } else {
        logPrint(MIN, "SipTCPPortListener::run. Failed onAccepted, from [%s].\n", from.c_str());
    }
}

void SipTCPPortListener::onAcceptFailure(const SocketException& error) {
    const int number = error.getErrorNumber();
    if (isResourceShortage(number)) {
        const auto interval = resourcePause_.load();
        logPrint(MIN, "SipTCPPortListener::run. Failed accept, out of resources, retrying in %d ms, SocketException [%s](%d).\n",
                 static_cast<int>(interval.count()), error.toString().c_str(), error.getCode());
        pause(interval);
    } else if (isConnectionGone(number)) {
        logPrint(DET, "SipTCPPortListener::run. Accepted connection gone, SocketException [%s](%d).\n",
                 error.toString().c_str(), error.getCode());
    } else {
        logPrint(MIN, "SipTCPPortListener::run. SocketException [%s](%d).\n", error.toString().c_str(), error.getCode());
        closeListen();
    }
}

void SipTCPPortListener::closeListen() {
    ScopedLock<Cond> guard(socketLock_);
    listen_.close();
}

void SipTCPPortListener::pause(std::chrono::milliseconds interval) {
    ScopedLock<Cond> guard(socketLock_);
    if (isRunning()) socketLock_.wait(static_cast<int>(interval.count()));
}

}  // namespace kel_sip
