// The part every RFC 3261 transaction machine shares: its identity, state and retransmission
// interval, and the sends, timers and notifications it makes through its TransactionContext.
//
// The transaction controller creates a transaction, gives it its request (setRequest) and its
// ID, then feeds it inputs one at a time under the transaction's entry lock. After each input
// it removes the transaction when the input failed or the state is Terminated; the destructor
// cancels whatever timers are still running.
//
// A send that fails inside a transaction (a retransmission, an ACK, a response the machine
// resends on its own) is the transport error of RFC 3261 sections 17.1.4 and 17.2.4: the
// transaction user is told and the transaction ends. A send the caller asked for
// (onSendRequest, onSendResponse) reports its failure to that caller by its result.
#pragma once

#include <memory>
#include <string>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/transaction/TransactionContext.h"
#include "kel_sip/transaction/TransactionMethod.h"
#include "kel_sip/transaction/TransactionTypes.h"

namespace kel_sip {

class SipTransaction {
public:
    explicit SipTransaction(std::unique_ptr<TransactionContext> context);
    // Cancels every timer still running.
    virtual ~SipTransaction();
    SipTransaction(const SipTransaction&) = delete;
    SipTransaction& operator=(const SipTransaction&) = delete;

    // The key of the controller's index: the client's branch without the magic cookie, the
    // server's ServerTransactionID::keyOf (its branch, or its Call-ID for an RFC 2543 peer).
    virtual const std::string& key() const = 0;
    // Takes the matching data from the request that creates the transaction; false when the
    // request cannot be matched (no Via; for a client, a branch of seven characters or fewer).
    virtual bool setRequest(const SipMessageExt& request) = 0;
    // A timer of this transaction has expired. An expiry of a timer that is no longer running
    // (a worker took it off the queue before it was cancelled) is logged and ignored: the
    // result is true and nothing changes. False when the step failed.
    bool onTimeout(int timer);
    // The transport reported that a message of this transaction could not be sent
    // (RFC 3261 sections 17.1.4, 17.2.4). message is the message that failed, or null.
    virtual bool onTransportError(SipMessageSlot& message) = 0;

    int getId() const { return id_; }
    void setId(int id) { id_ = id; }
    int getState() const { return state_; }
    const TransactionMethod& getMethod() const { return method_; }
    // The user's integer: given with the request, or the parameter of the last response sent.
    int getUserId() const { return userId_; }
    // The current retransmission interval in milliseconds.
    int getInterval() const { return interval_; }
    bool isTimerRunning(int timer) const;

protected:
    // A timer this transaction runs has expired (its running mark is already cleared).
    virtual bool onRunningTimer(int timer) = 0;
    // The class name that begins this transaction's log lines.
    virtual const char* className() const = 0;
    // Logs an expiry that the current state does not expect and leaves everything as it is.
    bool ignoreTimer(int timer) const;
    // Logs an input that the current state does not take; the result is the step's failure.
    bool refuseInput(const char* input) const;

    bool sendRequestByTransport(SipMessageExt& request);
    bool sendResponseByTransport(SipMessageExt& response);

    bool startTimer(int timer, int milliseconds);
    void cancelTimer(int timer);
    void cancelTimers();
    // Starts a retransmission timer (A, E or G) at T1.
    bool startRetransmitTimer(int timer);
    void setInterval(int milliseconds) { interval_ = milliseconds; }
    // Restarts it after a firing with the interval doubled, capped at cap milliseconds.
    bool restartRetransmitTimer(int timer, int cap);
    // On a reliable transport the wait for retransmissions is zero: the transaction ends at
    // once. Otherwise starts timer and moves to next.
    bool waitForRetransmissions(int next, int timer, int milliseconds);
    // The expiry of that wait (Timer D, I, J or K): ends the transaction when it is still in
    // waiting, else ignores the expiry.
    bool endWait(int timer, int waiting);

    bool notifyTU(int type, SipMessageSlot& message);
    // The message the transaction keeps: a client's request, a server's last response.
    virtual SipMessageSlot& keptMessage() = 0;
    // SIPTRANSACTION_EVMSGTYPE_REQUESTTRANSPORTERROR or ..._RESPONSETRANSPORTERROR.
    virtual int transportErrorType() const = 0;
    // The transport error input: cancels the timers, tells the user (with message, or the kept
    // message when the transport gave none) and ends the transaction. The result is the
    // notification's.
    bool endWithTransportError(SipMessageSlot& message);
    // A send of the kept message failed: the transport error, with that message.
    bool endWithSendFailure() { return endWithTransportError(keptMessage()); }

    TransactionContext& context() { return *context_; }
    const TransactionContext& context() const { return *context_; }
    bool isReliable() const { return context_->isReliable(); }
    TransactionTimerValues timerValues() const { return context_->timerValues(); }
    // 64*T1, the limit of Timers B, F, H and J.
    int transactionTimeout() const;

    int state_ = kStateTerminated;
    TransactionMethod method_;
    int userId_ = 0;

private:
    std::unique_ptr<TransactionContext> context_;
    int id_ = 0;
    int interval_ = 0;
    unsigned runningTimers_ = 0;  // bit n set while timer n runs
};

}  // namespace kel_sip
