// A transaction user (RFC 3261 section 17): the layer above the transaction controller. It
// receives on its own worker pool the requests, responses, time-outs and transport errors the
// controller reports for the methods it registered (TransactionTypes.h), runs the matching
// procedure, and sends requests and responses back through the controller. The base of the
// pseudo servers and of TransactionUserExt.
//
// Threads: the send operations, the setters and postEvent may be called from any thread; init
// and clean from the owner. The procedures run on the workers in locked dispatch: each is
// entered holding the eventLock and gives it up through its EventLockGuard as soon as it holds
// the list lock it needs (lock order: eventLock, list, entry), or at once when it needs none.
// A procedure that keeps the message moves it out of its slot; what is left is freed.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "kel_sip/syntax/HeaderListBase.h"
#include "kel_sip/syntax/SipMethodList.h"
#include "kel_sip/syntax/SipPeerAddress.h"
#include "kel_sip/transaction/EventLockGuard.h"
#include "kel_sip/transaction/SipTransactionController.h"
#include "kel_sip/transaction/TransactionContext.h"
#include "kel_util/EventHandlerExt2.h"
#include "kel_util/Mutex.h"

namespace kel_sip {

// What the by-message form of sendResponseFromRequest adds to the response.
struct ResponseContent {
    std::string_view body;                    // attached when not empty
    std::string_view contentType;             // "application/sdp" when empty
    const HeaderListBase* headers = nullptr;  // appended when given
};

// The ACK and BYE of sendByeFromResponse.
struct ByeFromResponse {
    bool sendAckFirst = false;
    int defaultTransport = 0;                      // SipTransportType when the response carries none
    const SipPeerAddress* outboundPeer = nullptr;  // the next hop instead of the route's
    int parameter = 0;                             // the user ID of the requests
};

class TransactionUser : public kel_util::EventHandlerExt2 {
public:
    // controller must outlive this user; the timers keep clock for their life.
    explicit TransactionUser(SipTransactionController& controller,
                             kel_util::ClockSource& clock = kel_util::clockSource());
    ~TransactionUser() override;

    // Starts the timer thread, then workerCount workers; false (nothing left running) on failure.
    bool init(int workerCount);
    // Stops the workers (queued events are freed by onEventClean), then the timer thread.
    void clean() override;

    bool startProc(int workerId) override;
    void endProc(int workerId) override;

    // Registers this user with the controller for methodKinds and lists them in the Allow
    // header of its 405 responses (RFC 3261 section 8.2.1). False when a method already has
    // another user (the methods before it stay registered).
    bool registerMethods(const std::vector<int>& methodKinds);
    SipMethodList getAllowedMethods() const;

    // Max-Forwards of the requests this user creates (RFC 3261 section 8.1.1.6).
    int getMaxForwards() const noexcept { return maxForwards_.load(std::memory_order_relaxed); }
    void setMaxForwards(int value) noexcept { maxForwards_.store(value, std::memory_order_relaxed); }

    // Sends request in a new client transaction owned by this user; userId comes back with
    // its events. The client transaction ID (0 for an ACK), negative on failure or when this
    // user no longer accepts events.
    int sendRequest(const SipMessageExt& request, int userId);
    // Sends response on the server transaction serverTransactionId.
    bool sendResponse(int serverTransactionId, const SipMessageExt& response, int parameter);
    // Sends response on the server transaction it matches (a 2xx to INVITE without one goes
    // out directly); notifyFailureAck asks for the ACK of a failure response.
    bool sendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck);

    // Answers request on its server transaction with statusCode (a null reasonPhrase takes the
    // code's own). A To without a tag gets toTag, or a new one when toTag is null; a tag
    // already there is kept (RFC 3261 section 8.2.6.2). A 405 lists the allowed methods.
    bool sendResponseFromRequest(int serverTransactionId, const SipMessageExt& request, int statusCode,
                                 const char* reasonPhrase, const char* toTag, int parameter);
    // The same with a body and headers, sent by message (the transaction it matches).
    bool sendResponseFromRequest(const SipMessageExt& request, int statusCode, const char* reasonPhrase,
                                 const ResponseContent& content, const char* toTag, int parameter);
    // Ends a call answered with a 2xx that nobody wants any more (RFC 3261 section 15): ACK
    // (when asked) and BYE to the response's Contact along its Record-Route set, each with a
    // new branch; the BYE's CSeq number is one above the response's.
    bool sendByeFromResponse(const SipMessageExt& response, const ByeFromResponse& how);

    // The time of the clock this user's timers run on, for the time marks its usages keep.
    kel_util::ClockSource::TimePoint now() { return timer().clock().now(); }

    // Added to a CSeq number for a request derived from another (the BYE after an ACK).
    static constexpr int kCSeqStep = 1;

    // A new Via branch from the transaction controller (RFC 3261 section 8.1.1.7).
    std::string createBranch();

protected:
    // The six procedures, one per event type. The base ones log the unexpected event, release
    // the eventLock and fail; onServerTransactionTimeout logs and succeeds.
    virtual bool onReceiveRequest(SipMessageSlot& message, int serverTransactionId, EventLockGuard& eventLock);
    virtual bool onReceiveResponse(SipMessageSlot& message, int clientTransactionId, int userId,
                                   EventLockGuard& eventLock);
    virtual bool onClientTransactionTimeout(SipMessageSlot& message, int clientTransactionId, int userId,
                                            EventLockGuard& eventLock);
    virtual bool onServerTransactionTimeout(SipMessageSlot& message, int serverTransactionId, int parameter,
                                            EventLockGuard& eventLock);
    virtual bool onRequestTransportError(SipMessageSlot& message, int clientTransactionId, int userId,
                                         EventLockGuard& eventLock);
    virtual bool onResponseTransportError(SipMessageSlot& message, int serverTransactionId, int parameter,
                                          EventLockGuard& eventLock);

    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                 const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                      const void* from) override;

    SipTransactionController& controller() noexcept { return controller_; }

    // The default for an event nobody handles: releases the eventLock, logs the message as
    // invalid in where ("Class::procedure"), naming the transaction when transactionKind
    // ("ClientTransaction", "ServerTransaction") is given, and fails.
    static bool refuseEvent(const char* where, const SipMessageExt& message, const char* transactionKind,
                            int transactionId, int id, EventLockGuard& eventLock);

private:
    // Runs the procedure of a transaction event type on message.
    bool dispatchTransactionEvent(int type, SipMessageSlot& message, int transactionId, int userId,
                                  EventLockGuard& eventLock);
    // The response to request that both forms of sendResponseFromRequest send.
    std::unique_ptr<SipMessageExt> makeResponse(const SipMessageExt& request, int statusCode, const char* reasonPhrase,
                                                const char* toTag) const;
    void addAllowIfNeeded(SipMessageExt& response) const;
    // Sends request with a new top Via branch; the controller's result.
    int sendWithNewBranch(SipMessageExt& request, int parameter);

    SipTransactionController& controller_;
    std::atomic<int> maxForwards_{70};
    mutable kel_util::Mutex allowedMutex_;
    SipMethodList allowed_;  // guarded by allowedMutex_
};

}  // namespace kel_sip
