// The transaction user every usage controller stands on: TransactionUser plus the settings
// the usages share (Max-Forwards, the Call-ID host, the local tag, the initial CSeq, the
// default transport, the outbound peer, the address update flags) and a second layer of
// procedures (proc*) that the controllers override. A request of a method the controller does
// not override is answered 405 Method Not Allowed.
//
// Threads: as TransactionUser. The setters and getters may be called from any thread; each
// value is copied under its own lock or is atomic.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "kel_sip/transaction/TransactionUser.h"

namespace kel_sip {

class TransactionUserExt : public TransactionUser {
public:
    explicit TransactionUserExt(SipTransactionController& controller,
                                kel_util::ClockSource& clock = kel_util::clockSource());
    ~TransactionUserExt() override;

    // Stores hostName when given, then starts the timer thread and workerCount workers.
    bool init(int workerCount, const char* hostName = nullptr);
    // TransactionUser::clean, then forgets the outbound peer.
    void clean() override;

    // The host part of the Call-IDs this controller makes (setting CallIDHost).
    std::string getHostName() const;
    void setHostName(std::string hostName);
    // The local tag of dialogs created for received requests when not empty (setting LocalTag).
    std::string getLocalTag() const;
    void setLocalTag(std::string tag);
    // The CSeq number of a new dialog's first request; negative: a random start (setting
    // InitialLocalSeqNo).
    int getInitialLocalSeqNo() const noexcept { return initialLocalSeqNo_.load(std::memory_order_relaxed); }
    void setInitialLocalSeqNo(int value) noexcept { initialLocalSeqNo_.store(value, std::memory_order_relaxed); }
    // The SipTransportType used when a message names none (setting DefaultSipTransportType).
    int getDefaultTransport() const noexcept { return defaultTransport_.load(std::memory_order_relaxed); }
    void setDefaultTransport(int type) noexcept { defaultTransport_.store(type, std::memory_order_relaxed); }
    // The next hop of out-of-dialog requests and of dialogs without a binding of their own
    // (setting OutBoundProxy with UseOutBoundProxy); none when not set.
    std::optional<SipPeerAddress> getOutboundPeer() const;
    void setOutboundPeer(std::optional<SipPeerAddress> peer);
    // Whether a confirming 2xx updates the dialog's local address (UpdateFromAddress) and its
    // remote address from the To header (UpdateToAddress).
    bool getUpdateFromAddress() const noexcept { return updateFromAddress_.load(std::memory_order_relaxed); }
    void setUpdateFromAddress(bool on) noexcept { updateFromAddress_.store(on, std::memory_order_relaxed); }
    bool getUpdateToAddress() const noexcept { return updateToAddress_.load(std::memory_order_relaxed); }
    void setUpdateToAddress(bool on) noexcept { updateToAddress_.store(on, std::memory_order_relaxed); }

protected:
    // Runs procReceiveRequest; a status code it returns is sent as the answer (new To tag).
    bool onReceiveRequest(SipMessageSlot& message, int serverTransactionId, EventLockGuard& eventLock) override;
    // The other four run their proc with the user ID; the message is freed when it succeeds.
    bool onReceiveResponse(SipMessageSlot& message, int clientTransactionId, int userId,
                           EventLockGuard& eventLock) override;
    bool onClientTransactionTimeout(SipMessageSlot& message, int clientTransactionId, int userId,
                                    EventLockGuard& eventLock) override;
    bool onRequestTransportError(SipMessageSlot& message, int clientTransactionId, int userId,
                                 EventLockGuard& eventLock) override;
    bool onResponseTransportError(SipMessageSlot& message, int serverTransactionId, int parameter,
                                  EventLockGuard& eventLock) override;
    // A timer of this user: forwarded as (ID, timer name) with the eventLock guarded.
    bool onTimeout(int id, int timerName, int parameter) final;

    // The procedures the usage controllers override. Each gives up the eventLock through
    // eventLock; the defaults do so at once, log the unexpected event and fail, except
    // procReceiveRequest, which returns 405. procReceiveRequest returns 0 when it handled
    // the request, else the status code to answer with.
    virtual bool onTimeout(int id, int timerName, EventLockGuard& eventLock);
    virtual int procReceiveRequest(SipMessageSlot& request, int serverTransactionId, EventLockGuard& eventLock);
    virtual bool procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock);
    virtual bool procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock);
    virtual bool procRequestTransportError(SipMessageSlot& request, int userId, EventLockGuard& eventLock);
    virtual bool procResponseTransportError(SipMessageSlot& response, int parameter, EventLockGuard& eventLock);

private:
    using Procedure = bool (TransactionUserExt::*)(SipMessageSlot&, int, EventLockGuard&);
    // Logs the event, runs procedure with the user ID and frees the message on success.
    bool runProcedure(const char* operation, const char* transactionKind, Procedure procedure, SipMessageSlot& message,
                      int transactionId, int userId, EventLockGuard& eventLock);

    mutable kel_util::Mutex hostNameMutex_;
    std::string hostName_;  // guarded by hostNameMutex_
    mutable kel_util::Mutex localTagMutex_;
    std::string localTag_;  // guarded by localTagMutex_
    mutable kel_util::Mutex outboundPeerMutex_;
    std::optional<SipPeerAddress> outboundPeer_;  // guarded by outboundPeerMutex_
    std::atomic<int> initialLocalSeqNo_{1};
    std::atomic<int> defaultTransport_{0};
    std::atomic<bool> updateFromAddress_{false};
    std::atomic<bool> updateToAddress_{false};
};

}  // namespace kel_sip
