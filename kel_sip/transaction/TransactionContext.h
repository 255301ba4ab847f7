// What a transaction machine needs from the layers around it, and nothing more: its transport,
// its timers and its transaction user. The transaction controller implements it for each
// transaction over its timer thread, the transaction's transport and notifyTU; tests implement
// it with a fake transport and a clock they move by hand.
//
// Over the controller's EventHandlerExt, startTimer is setTimer (milliseconds, transactionId,
// timer) and cancelTimer is cancelTimer (transactionId, timer); the controller routes an expiry
// by its timer number (isServerTimer) to the client or server list and calls onTimeout (timer)
// on the transaction with that ID.
//
// Threads: a transaction calls its context only from the thread that holds the transaction
// (the controller's worker, under the transaction's entry lock). An implementation must not
// call back into the transaction from these operations: timers fire and users are notified
// through queued events, later, on a worker that takes the entry lock again.
#pragma once

#include <memory>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/transaction/TransactionTypes.h"

namespace kel_sip {

// The slot of an event's message: whoever keeps, forwards or frees the message leaves it null.
using SipMessageSlot = std::unique_ptr<SipMessageExt>;

class TransactionContext {
public:
    virtual ~TransactionContext() = default;

    // Sends through the transaction's transport. The transport may stamp the message (its
    // transport ID and type, the peer it chose), so a retransmission of the same object goes
    // the same way. False when the message could not be sent: the transport error of RFC 3261
    // sections 17.1.4 and 17.2.4.
    virtual bool sendRequest(SipMessageExt& request, int transactionId) = 0;
    virtual bool sendResponse(SipMessageExt& response, int transactionId) = 0;
    // TCP, TLS and SCTP are reliable (RFC 3261 section 17: no retransmission timers, and
    // Timers D, I, J and K are zero).
    virtual bool isReliable() const = 0;
    // The transport, named in log lines only.
    virtual const void* transport() const = 0;

    // Starts the timer named (transactionId, timer) to expire after milliseconds; the expiry
    // comes back later as the transaction's onTimeout (timer). False when no timer can be
    // started (the controller is stopping).
    virtual bool startTimer(int transactionId, int timer, int milliseconds) = 0;
    // Cancels that timer. An expiry already taken off the queue by a worker may still arrive;
    // the machines ignore a timer they no longer run.
    virtual void cancelTimer(int transactionId, int timer) = 0;

    // Posts an event of type (SIPTRANSACTION_EVMSGTYPE_*) to the transaction user with the
    // message, the transaction ID and the user ID. On success the event owns the message and
    // the slot is null; on failure the message stays in the slot.
    virtual bool notifyUser(int type, SipMessageSlot& message, int transactionId, int userId) = 0;

    // The current timer values; read at each use, so that new settings apply to the next timer.
    virtual TransactionTimerValues timerValues() const = 0;
};

}  // namespace kel_sip
