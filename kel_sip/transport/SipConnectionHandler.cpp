#include "kel_sip/transport/SipConnectionHandler.h"

#include <sys/socket.h>

#include <climits>

#include "kel_sip/transport/SipTransportEvent.h"
#include "kel_util/Log.h"
#include "kel_util/SocketException.h"

using kel_util::DBG;
using kel_util::DET;
using kel_util::logPrint;
using kel_util::MAJ;
using kel_util::MIN;
using kel_util::SocketAddress;
using kel_util::SocketException;

namespace kel_sip {

SipConnectionHandler::SipConnectionHandler(kel_util::EventHandler& transport, ConnectionFactory factory,
                                           kel_util::ClockSource& clock)
    : EventHandlerExt(clock),
      transport_(transport),
      factory_(std::move(factory)),
      clock_(clock),
      poller_([this](int handle) { onPollEvent(handle); }),
      listener_(*this) {}

SipConnectionHandler::~SipConnectionHandler() { clean(); }

bool SipConnectionHandler::init(int workerCount, int port, const char* bindAddress, int family, bool tolerateBindFailure) {
    logPrint(DBG,
             "SipConnectionHandler::init. Initializing SipConnectionHandler, WorkerNum=%d, Port=%d, BindAddr=[%s], "
             "ProtocolFamily=%d, BindFailureRetry=%d.\n",
             workerCount, port, bindAddress != nullptr ? bindAddress : "NULL", family, tolerateBindFailure ? 1 : 0);
    SocketAddress address(family == AF_INET6 ? AF_INET6 : AF_INET);
    if (!address.set(port, bindAddress, family)) {
        logPrint(MAJ, "SipConnectionHandler::init. Failed to set bind address, Port=%d, BindAddr=[%s].\n", port,
                 bindAddress != nullptr ? bindAddress : "NULL");
        return false;
    }
    setName("SipConnectionHandler");
    if (!EventHandlerExt::init(workerCount)) {
        logPrint(MIN, "SipConnectionHandler::init. Failed to init EventHandlerExt.\n");
        logPrint(MAJ, "SipConnectionHandler::init. Failed to init SipConnectionHandler.\n");
        return false;
    }
    bool started = false;
    try {
        try {
            listener_.open(address);
        } catch (const SocketException& error) {
            if (!tolerateBindFailure || error.getCode() != SocketException::BIND) throw;
            listener_.setAddress(address);  // the listener thread keeps trying
        }
        started = poller_.init() && listener_.start();
        if (started) logPrint(DBG, "SipTCPPortListenerExt::init. Succeeded to init SipTCPPortListenerExt.\n");
    } catch (const SocketException& error) {
        logPrint(MIN, "SipConnectionHandler::init. Failed to init SipTCPPortListener, SocketException [%s](%d).\n",
                 error.toString().c_str(), error.getCode());
    } catch (const kel_util::SystemException& error) {
        logPrint(MIN, "SipConnectionHandler::init. Failed to init SipTCPPortListener, %s.\n", error.toString().c_str());
    }
    if (!started) {
        logPrint(MIN, "SipConnectionHandler::init. Failed to init SipTCPPortListener.\n");
        clean();
        logPrint(MAJ, "SipConnectionHandler::init. Failed to init SipConnectionHandler.\n");
        return false;
    }
    logPrint(DBG, "SipConnectionHandler::init. Initialized SipConnectionHandler.\n");
    return true;
}

void SipConnectionHandler::clean() {
    logPrint(DBG, "SipConnectionHandler::clean. Cleaning SipConnectionHandler.\n");
    logPrint(DBG, "SipTCPPortListener::clean. Cleaning.\n");
    listener_.stop();
    logPrint(DBG, "SipTCPReceivePoller::clean. Cleaning.\n");
    poller_.stop();
    EventHandlerExt::clean();
    list_.lock();
    const std::vector<int> ids = list_.getIds();
    list_.unlock();
    for (const int id : ids) {
        list_.lock();
        _disconnect(id);
    }
}

bool SipConnectionHandler::onAccepted(std::unique_ptr<kel_util::Socket> socket, const SocketAddress& peer) {
    const std::string from = peer.toString();
    logPrint(DET, "SipConnectionHandler::onAccepted. Accepted connection from [%s].\n", from.c_str());
    std::unique_ptr<SipConnection> connection;
    try {
        connection = factory_(std::move(socket), peer);
    } catch (const SocketException& error) {
        logPrint(MIN, "SipConnection::accept. Failed getLocalSocketAddress(), SocketException [%s](%d), id=%d.\n",
                 error.toString().c_str(), error.getCode(), 0);
        return false;
    }
    list_.lock();
    const int limit = maxConnection_;
    const int size = static_cast<int>(list_.size());
    if (limit > 0 && size >= limit) {
        list_.unlock();
        logPrint(MIN, "SipConnectionHandler::onAccepted. Too many connection, Size=%d, MaxConnection=%d, dest=[%s].\n",
                 size, limit, from.c_str());
        connection->refuse();
        return false;
    }
    SipConnectionILData* record = addSipConnection(std::move(connection));
    if (record == nullptr) {
        logPrint(MIN, "SipConnectionHandler::onAccepted. Failed addSipConnection, dest=[%s].\n", from.c_str());
        return false;
    }
    SipConnection& added = record->payload();
    startAppConnControlTimer(added);
    logPrint(DET, "SipConnectionHandler::onAccepted. Succeeded addSipConnection, dest=[%s], id=%d.\n", from.c_str(),
             added.getId());
    releaseEntry(record, false);
    return true;
}

int SipConnectionHandler::connect(const SocketAddress& address, std::chrono::milliseconds timeout) {
    const std::string to = address.toString();
    logPrint(DET, "SipConnectionHandler::connect. Connecting to [%s].\n", to.c_str());
    list_.lock();
    const int old = list_.findByAddress(address);
    if (old > 0) {
        _disconnect(old);
    } else {
        list_.unlock();
    }
    if (timeout.count() <= 0) timeout = SipConnection::getConnectTimeout();
    std::unique_ptr<SipConnection> connection;
    try {
        auto socket = std::make_unique<kel_util::Socket>();
        socket->open(address.getFamily(), SOCK_STREAM);
        if (!socket->connect(address, timeout)) {
            logPrint(MIN, "SipConnectionHandler::connect. Connect timeout, dest=[%s], value=%d.\n", to.c_str(),
                     static_cast<int>(timeout.count()));
            return -1;
        }
        connection = factory_(std::move(socket), address);
    } catch (const SocketException& error) {
        logPrint(MIN, "SipConnectionHandler::connect. Failed connect, dest=[%s], SocketException [%s](%d).\n", to.c_str(),
                 error.toString().c_str(), error.getCode());
        return -1;
    }
    list_.lock();
    SipConnectionILData* record = addSipConnection(std::move(connection));
    if (record == nullptr) return -1;
    const int id = record->payload().getId();
    releaseEntry(record, false);
    return id;
}

SipConnectionILData* SipConnectionHandler::addSipConnection(std::unique_ptr<SipConnection> connection) {
    const std::string dest = connection->getPeerAddress().toString();
    SipConnectionILData* record = list_.addAndLock(connection);
    if (record == nullptr) {
        list_.unlock();
        logPrint(MIN, "SipConnectionHandler::addSipConnection. Failed add, dest=[%s].\n", dest.c_str());
        return nullptr;
    }
    SipConnection& added = record->payload();
    const int handle = added.getHandle();
    logPrint(DET, "SipConnectionHandler::addSipConnection. Succeeded add, dest=[%s], id=%d.\n", dest.c_str(), added.getId());
    if (noDelay_) added.setNoDelay();
    if (!poller_.addPollTarget(handle)) {
        logPrint(MIN, "SipConnectionHandler::addSipConnection. Failed addPollTarget, hSocket=%d, id=%d.\n", handle,
                 added.getId());
        added.shutdown();
        releaseEntry(record, true);
        return nullptr;
    }
    logPrint(DET, "SipConnectionHandler::addSipConnection. Succeeded addPollTarget, hSocket=%d, id=%d.\n", handle,
             added.getId());
    startConnectionTimer(added);
    return record;
}

void SipConnectionHandler::onPollEvent(int handle) {
    if (postEvent(SIPTCPTRANSPORT_EVMSGTYPE_POLLEVENT, handle, 0, this)) {
        logPrint(kel_util::DEV, "SipConnectionHandler::onPollEvent. Succeeded setEvent EventType=%d, hSocket=%d.\n",
                 SIPTCPTRANSPORT_EVMSGTYPE_POLLEVENT, handle);
    } else {
        // The socket stays unarmed; its idle timer ends the connection.
        logPrint(MIN, "SipConnectionHandler::onPollEvent. Failed setEvent EventType=%d, hSocket=%d.\n",
                 SIPTCPTRANSPORT_EVMSGTYPE_POLLEVENT, handle);
    }
}

void SipConnectionHandler::onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    if (type != SIPTCPTRANSPORT_EVMSGTYPE_POLLEVENT) {
        EventHandlerExt::onEvent(workerId, type, param1, param2, from);
        return;
    }
    logPrint(kel_util::DEV,
             "SipConnectionHandler::onEvent. Event SIPTCPTRANSPORT_EVMSGTYPE_POLLEVENT, worker id=%d, type=%d, "
             "param1=%d, param2=%d, from=%p.\n",
             workerId, type, static_cast<int>(param1), static_cast<int>(param2), from);
    procPollEvent(static_cast<int>(param1));
}

void SipConnectionHandler::onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    if (type != SIPTCPTRANSPORT_EVMSGTYPE_POLLEVENT) {
        EventHandlerExt::onEventClean(workerId, type, param1, param2, from);
        return;
    }
    // A poll event owns nothing; the connection is closed by clean.
    releaseEventLock();
}

void SipConnectionHandler::procPollEvent(int handle) {
    logPrint(kel_util::DEV, "SipConnectionHandler::procPollEvent. Poll Event, hSocket=%d.\n", handle);
    list_.lock();
    releaseEventLock();
    SipConnectionILData* record = list_.getAndLockBySocket(handle);
    if (record == nullptr) {
        list_.unlock();
        logPrint(DBG, "SipConnectionHandler::procPollEvent. SipConnection not found, hSocket=%d.\n", handle);
        return;
    }
    SipConnection& connection = record->payload();
    logPrint(kel_util::DEV, "SipConnectionHandler::procPollEvent. Found SipConnection, hSocket=%d, id=%d.\n", handle,
             connection.getId());
    const bool keep = receiveAll(connection) && poller_.rearm(handle);
    if (!keep) onDisconnect(connection);
    releaseEntry(record, !keep);
}

bool SipConnectionHandler::receiveAll(SipConnection& connection) {
    try {
        return _receiveAll(connection);
    } catch (const SocketException& error) {
        // A peer that closes is the ordinary end of a connection, not a failure.
        logPrint(error.getCode() == SocketException::CONNECTION_CLOSED ? DET : MIN,
                 "SipConnectionHandler::procPollEvent. SocketException [%s](%d), id=%d.\n", error.toString().c_str(),
                 error.getCode(), connection.getId());
        return false;
    }
}

bool SipConnectionHandler::_receiveAll(SipConnection& connection) {
    const int id = connection.getId();
    while (connection.isDataPending()) {
        logPrint(kel_util::DEV, "SipConnectionHandler::procPollEvent. Receiving, id=%d.\n", id);
        std::unique_ptr<SipMessageExt> message;
        switch (connection.receive(message)) {
            case SipConnection::RECEIVE_MESSAGE:
                logPrint(kel_util::DEV, "SipConnectionHandler::procPollEvent. Succeeded receive, id=%d.\n", id);
                stopConnectionTimer(connection);
                deliver(std::move(message), id);
                startConnectionTimer(connection);
                break;
            case SipConnection::RECEIVE_KEEPALIVE:
                logPrint(kel_util::DEV, "SipConnectionHandler::procPollEvent. Receive ignore, id=%d.\n", id);
                startConnectionTimer(connection);
                break;
            case SipConnection::RECEIVE_NOTHING:
                // The rest of the message is still on its way; the re-armed poller reports it.
                logPrint(kel_util::DEV, "SipConnectionHandler::procPollEvent. Receive ignore, id=%d.\n", id);
                return true;
            default:
                logPrint(DET, "SipConnectionHandler::procPollEvent. Receive failed, id=%d.\n", id);
                return false;
        }
    }
    return true;
}

void SipConnectionHandler::deliver(std::unique_ptr<SipMessageExt> message, int connectionId) {
    if (transport_.postEvent(SIPTCPTRANSPORT_EVMSGTYPE_RECVSIPMESSAGE, reinterpret_cast<intptr_t>(message.get()),
                             connectionId, this)) {
        message.release();  // the event owns it now
        logPrint(kel_util::DEV, "SipConnectionHandler::procPollEvent. Succeeded setEvent EventType=%d, id=%d.\n",
                 SIPTCPTRANSPORT_EVMSGTYPE_RECVSIPMESSAGE, connectionId);
    } else {
        logPrint(MAJ, "SipConnectionHandler::procPollEvent. Failed setEvent EventType=%d, id=%d.\n",
                 SIPTCPTRANSPORT_EVMSGTYPE_RECVSIPMESSAGE, connectionId);
    }
}

void SipConnectionHandler::onDisconnect(SipConnection& connection) {
    stopConnectionTimer(connection);
    stopAppTimer(connection);
    poller_.removePollTarget(connection.getHandle());
    connection.shutdown();
}

void SipConnectionHandler::releaseEntry(SipConnectionILData* record, bool dropped) {
    const int id = record->payload().getId();
    if (dropped) record->removed = true;
    list_.release(record);  // may erase the record: only id is used below
    if (dropped) {
        aliases_.remove(id);
        list_.closeSocket(id);
    }
    list_.unlock();
}

SipConnectionILData* SipConnectionHandler::lockConnection(int connectionId, const char* operation) {
    SipConnectionILData* record = list_.getAndLock(connectionId);
    if (record == nullptr) {
        list_.unlock();
        logPrint(DET, "%s. SipConnection not found, ConnectionID=%d.\n", operation, connectionId);
    }
    return record;
}

bool SipConnectionHandler::disconnect(int connectionId) {
    list_.lock();
    return _disconnect(connectionId);
}

bool SipConnectionHandler::_disconnect(int connectionId) {
    SipConnectionILData* record = lockConnection(connectionId, "SipConnectionHandler::disconnect");
    if (record == nullptr) return false;
    logPrint(DET, "SipConnectionHandler::disconnect. Found SipConnection, id=%d.\n", connectionId);
    logPrint(DET, "SipConnectionHandler::disconnect. Cleaning SipConnection, id=%d.\n", connectionId);
    onDisconnect(record->payload());
    releaseEntry(record, true);
    return true;
}

bool SipConnectionHandler::send(int connectionId, SipMessageExt& message, int transactionId) {
    list_.lock();
    SipConnectionILData* record = list_.getAndLock(connectionId);
    if (record == nullptr) {
        list_.unlock();
        logPrint(MIN, "SipConnectionHandler::send. SipConnection not found, ConnectionID=%d, TransactionID=%d.\n",
                 connectionId, transactionId);
        return false;
    }
    SipConnection& connection = record->payload();
    stopConnectionTimer(connection);
    const bool sent = connection.send(message, transactionId) == 1;
    if (sent) {
        startConnectionTimer(connection);
        message.connectionId = connectionId;
    } else {
        onDisconnect(connection);
    }
    releaseEntry(record, !sent);
    return sent;
}

bool SipConnectionHandler::getAddresses(int connectionId, SocketAddress& peer, SocketAddress& local) {
    list_.lock();
    SipConnectionILData* record = lockConnection(connectionId, "SipConnectionHandler::getAddresses");
    if (record == nullptr) return false;
    peer = record->payload().getPeerAddress();
    local = record->payload().getLocalAddress();
    releaseEntry(record, false);
    return true;
}

void SipConnectionHandler::stopAppConnControlTimer(int connectionId) {
    list_.lock();
    SipConnectionILData* record = lockConnection(connectionId, "SipConnectionHandler::stopAppConnControlTimer");
    if (record == nullptr) return;
    logPrint(DET, "SipConnectionHandler::stopAppConnControlTimer. Found SipConnection, id=%d.\n", connectionId);
    stopAppTimer(record->payload());
    releaseEntry(record, false);
}

int SipConnectionHandler::findConnection(const SocketAddress& address) {
    list_.lock();
    int id = useAlias_ ? aliases_.find(address) : 0;
    if (id == 0) id = list_.findByAddress(address);
    list_.unlock();
    return id;
}

int SipConnectionHandler::addAlias(const SocketAddress& address, int connectionId) {
    list_.lock();
    // Checked under the list lock: a connection closing now loses its aliases after this.
    const int result = list_.contains(connectionId) ? aliases_.add(address, connectionId) : -1;
    list_.unlock();
    return result;
}

int SipConnectionHandler::getConnectionCount() {
    list_.lock();
    const int count = static_cast<int>(list_.size());
    list_.unlock();
    return count;
}

int SipConnectionHandler::getAliasCount() {
    list_.lock();
    const int count = aliases_.size();
    list_.unlock();
    return count;
}

bool SipConnectionHandler::onTimeout(int id, int param) {
    if (param == IDLE_TIMER) {
        logPrint(DET, "SipConnectionHandler::onTimeout. Timeout conection timer, TimerName=%d, id=%d.\n", param, id);
    } else if (param == APP_CONN_CONTROL_TIMER) {
        logPrint(DET, "SipConnectionHandler::onTimeout. Timeout application connection control timer, TimerName=%d, id=%d.\n",
                 param, id);
    } else {
        logPrint(MIN, "SipConnectionHandler::onTimeout. Invalid TimerName=%d, id=%d.\n", param, id);
        releaseEventLock();
        return false;
    }
    list_.lock();
    releaseEventLock();
    if (param == IDLE_TIMER) {
        onIdleTimeout(id);
    } else {
        _disconnect(id);
    }
    return true;
}

void SipConnectionHandler::onIdleTimeout(int connectionId) {
    SipConnectionILData* record = lockConnection(connectionId, "SipConnectionHandler::onTimeout");
    if (record == nullptr) return;
    SipConnection& connection = record->payload();
    // A reader or sender that held the entry while this expiry waited has started a new timer.
    const bool stale = !connection.idleTimerRunning || connection.idleDeadline > clock_.now();
    if (!stale) {
        connection.idleTimerRunning = false;
        onDisconnect(connection);
    }
    releaseEntry(record, !stale);
}

void SipConnectionHandler::startConnectionTimer(SipConnection& connection) {
    stopConnectionTimer(connection);
    const int seconds = connectionTimeoutSec_;
    if (seconds <= 0) return;
    // Taken before the timer is set, so that the timer's own expiry is never earlier.
    connection.idleDeadline = clock_.now() + std::chrono::milliseconds(timerMilliseconds(seconds));
    if (!setTimer(timerMilliseconds(seconds), connection.getId(), IDLE_TIMER)) return;
    connection.idleTimerRunning = true;
    logPrint(kel_util::DEV, "SipConnectionHandler::startConnectionTimer. Started connection timer Sec=%d, id=%d.\n", seconds,
             connection.getId());
}

void SipConnectionHandler::stopConnectionTimer(SipConnection& connection) {
    if (!connection.idleTimerRunning) return;
    cancelTimer(connection.getId(), IDLE_TIMER);
    connection.idleTimerRunning = false;
    logPrint(kel_util::DEV, "SipConnectionHandler::stopConnectionTimer. Stopped connection timer, id=%d.\n",
             connection.getId());
}

void SipConnectionHandler::startAppConnControlTimer(SipConnection& connection) {
    const int seconds = appConnControlSec_;
    if (seconds <= 0 || !setTimer(timerMilliseconds(seconds), connection.getId(), APP_CONN_CONTROL_TIMER)) return;
    connection.appTimerRunning = true;
    logPrint(DET, "SipConnectionHandler::startAppConnControlTimer. Started application connection control timer, Sec=%d, id=%d.\n",
             seconds, connection.getId());
}

void SipConnectionHandler::stopAppTimer(SipConnection& connection) {
    if (!connection.appTimerRunning) return;
    cancelTimer(connection.getId(), APP_CONN_CONTROL_TIMER);
    connection.appTimerRunning = false;
    logPrint(DET, "SipConnectionHandler::stopAppConnControlTimer. Stopped application connection control timer, id=%d.\n",
             connection.getId());
}

int SipConnectionHandler::timerMilliseconds(int seconds) {
    return (seconds > INT_MAX / 1000 ? INT_MAX / 1000 : seconds) * 1000;
}

}  // namespace kel_sip
