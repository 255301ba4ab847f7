// The owner of a transport's connections: it accepts them (SipTCPPortListener), makes them on
// demand (connect), learns their aliases, reads them when the poller reports them readable and
// hands every whole message to the transport's workers as SIPTCPTRANSPORT_EVMSGTYPE_RECVSIPMESSAGE,
// and closes them after the idle time-out, the application connection control time, a read or
// send failure, disconnect or clean.
//
// Timers: id = connection ID; param 0 the idle timer (TCPConnectionTimeoutSec, stopped while a
// message is taken or sent and started again after it, so only a connection without traffic
// closes; 0 or less never closes), param 1 the application connection control timer.
//
// A peer that connects and sends nothing, sends a header block without end or resets in the
// middle of a message costs one connection slot until its time-out or its failure, nothing more.
//
// Threads: the owner calls the setters, init and clean; connect, disconnect, send, the alias
// and search operations may be called from any thread. A connection is worked on under its
// entry lock only; connecting happens without the list lock, so that a dead destination
// holds up no other traffic. Lock order: eventLock, the list lock (which also guards the alias
// list), an entry lock.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include "kel_sip/transport/SipConnection.h"
#include "kel_sip/transport/SipConnectionAliasDataList.h"
#include "kel_sip/transport/SipConnectionList.h"
#include "kel_sip/transport/SipTCPPortListener.h"
#include "kel_sip/transport/SipTCPReceivePoller.h"
#include "kel_util/EventHandlerExt.h"

namespace kel_sip {

class SipConnectionHandler : public kel_util::EventHandlerExt, public SipTCPPortListenerExt {
public:
    // Makes the connection object of a connected socket (the transport's framing); may throw
    // SocketException.
    using ConnectionFactory =
        std::function<std::unique_ptr<SipConnection>(std::unique_ptr<kel_util::Socket>, const kel_util::SocketAddress&)>;

    static constexpr int kDefaultConnectionTimeoutSec = 180;
    enum TimerParam : int { IDLE_TIMER = 0, APP_CONN_CONTROL_TIMER = 1 };

    // transport receives the messages read and must outlive the handler; the timers run on clock.
    SipConnectionHandler(kel_util::EventHandler& transport, ConnectionFactory factory,
                         kel_util::ClockSource& clock = kel_util::clockSource());
    ~SipConnectionHandler() override;

    // 0 or less: no limit (TCPMaxConnection).
    void setMaxConnection(int count) noexcept { maxConnection_ = count; }
    int getMaxConnection() const noexcept { return maxConnection_; }
    // TCPConnectionTimeoutSec; 0 or less: never closed for idleness. Applies to timers started later.
    void setConnectionTimeoutSec(int seconds) noexcept { connectionTimeoutSec_ = seconds; }
    int getConnectionTimeoutSec() const noexcept { return connectionTimeoutSec_; }
    // 0 or less: off.
    void setAppConnControlSec(int seconds) noexcept { appConnControlSec_ = seconds; }
    void setNoDelay(bool on) noexcept { noDelay_ = on; }
    // UseTCPConnectionAlias: findConnection looks at the aliases first.
    void setUseAlias(bool on) noexcept { useAlias_ = on; }
    bool getUseAlias() const noexcept { return useAlias_; }
    // TCPAcceptTOMSec.
    void setAcceptTimeout(std::chrono::milliseconds timeout) noexcept { listener_.setAcceptTimeout(timeout); }
    std::chrono::milliseconds getAcceptTimeout() const noexcept { return listener_.getAcceptTimeout(); }

    // Starts the workers, opens the listen socket on port of bindAddress (null: the wildcard
    // address of family, AF_UNSPEC for either), starts the poller and the listener. With
    // tolerateBindFailure a port that cannot be bound yet is retried by the listener. False,
    // logged, with everything stopped again, on failure.
    bool init(int workerCount, int port, const char* bindAddress, int family, bool tolerateBindFailure);
    // Stops the listener, the poller and the workers, then closes every connection.
    void clean() override;
    // The listen address (with the port the system chose for port 0); throws SocketException
    // while the listen socket is closed.
    kel_util::SocketAddress getLocalAddress() { return listener_.getLocalAddress(); }

    // Connects to address within timeout (0 or less: TCPConnectTOMSec), first closing a
    // connection open to it; the new connection's ID, or -1.
    int connect(const kel_util::SocketAddress& address, std::chrono::milliseconds timeout);
    // Closes the connection; false when there is no such connection.
    bool disconnect(int connectionId);
    void stopAppConnControlTimer(int connectionId);
    // Sends message on the connection and stores the connection's ID in it; a failed send
    // closes the connection. True when sent.
    bool send(int connectionId, SipMessageExt& message, int transactionId);
    // The remote and local address of a connection; false when there is no such connection.
    bool getAddresses(int connectionId, kel_util::SocketAddress& peer, kel_util::SocketAddress& local);

    // A connection for a destination: by alias when aliases are on, then by peer address; 0
    // when there is none.
    int findConnection(const kel_util::SocketAddress& address);
    // See SipConnectionAliasDataList::add; -1 also when the connection is gone.
    int addAlias(const kel_util::SocketAddress& address, int connectionId);
    int getConnectionCount();
    int getAliasCount();

    // On the listener thread.
    bool onAccepted(std::unique_ptr<kel_util::Socket> socket, const kel_util::SocketAddress& peer) override;

protected:
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    bool onTimeout(int id, int param) override;

private:
    // On the poller thread.
    void onPollEvent(int handle);
    void procPollEvent(int handle);
    // Takes every whole message the connection holds; false when it has to be dropped.
    bool receiveAll(SipConnection& connection);
    bool _receiveAll(SipConnection& connection);
    void deliver(std::unique_ptr<SipMessageExt> message, int connectionId);

    // With the list locked: lists and polls the connection and starts its idle timer; the
    // entry locked with the list unlocked, or null with the list unlocked and the connection closed.
    SipConnectionILData* addSipConnection(std::unique_ptr<SipConnection> connection);
    // Under the entry lock: stops the timers and the polling and shuts the socket down.
    void onDisconnect(SipConnection& connection);
    // Gives the entry up and unlocks the list; a dropped connection loses its aliases and its
    // socket with the list locked.
    void releaseEntry(SipConnectionILData* record, bool dropped);
    // With the list locked: the connection's entry locked (list unlocked), or null, logged in
    // operation's name, with the list unlocked.
    SipConnectionILData* lockConnection(int connectionId, const char* operation);
    // With the list locked; returns with it unlocked.
    bool _disconnect(int connectionId);
    // The idle timer's expiry: closes the connection unless its timer was stopped or replaced
    // while the expiry was on its way. With the list locked; returns with it unlocked.
    void onIdleTimeout(int connectionId);

    void startConnectionTimer(SipConnection& connection);
    void stopConnectionTimer(SipConnection& connection);
    void startAppConnControlTimer(SipConnection& connection);
    void stopAppTimer(SipConnection& connection);
    // Seconds as timer milliseconds, capped so that the product fits an int.
    static int timerMilliseconds(int seconds);

    kel_util::EventHandler& transport_;
    const ConnectionFactory factory_;
    kel_util::ClockSource& clock_;
    std::atomic<int> maxConnection_{0};
    std::atomic<int> connectionTimeoutSec_{kDefaultConnectionTimeoutSec};
    std::atomic<int> appConnControlSec_{0};
    std::atomic<bool> noDelay_{false};
    std::atomic<bool> useAlias_{false};

    SipConnectionList list_;
    SipConnectionAliasDataList aliases_;  // guarded by list_'s lock
    SipTCPReceivePoller poller_;
    SipTCPPortListener listener_;  // last: its thread is the first to go
};

}  // namespace kel_sip
