// What the three pseudo servers share: a transaction user that serves one method, answers any
// other method 405 Method Not Allowed (RFC 3261 section 8.2.1), holds no state and logs under
// its own class name. Each server has its own worker pool.
//
// Threads: init and clean from the owner; the procedures run on the server's workers.
#pragma once

#include "kel_sip/transaction/TransactionUser.h"

class PseudoSipServer : public kel_sip::TransactionUser {
public:
    // className names the server in its log lines; methodKind (SipMethod) is the one it serves.
    PseudoSipServer(kel_sip::SipTransactionController& controller, const char* className, int methodKind);
    ~PseudoSipServer() override;

    // Starts the pool with workerCount workers; false, logged, on failure.
    bool init(int workerCount);
    // Stops the pool; logs only when init had succeeded.
    void clean() override;

    const char* className() const noexcept { return className_; }
    int methodKind() const noexcept { return methodKind_; }

protected:
    bool onReceiveRequest(kel_sip::SipMessageSlot& message, int serverTransactionId,
                          kel_sip::EventLockGuard& eventLock) override;
    // A response of the own method that could not be sent is dropped with a log line; the
    // peer retransmits its request when it wants the answer.
    bool onResponseTransportError(kel_sip::SipMessageSlot& message, int serverTransactionId, int parameter,
                                  kel_sip::EventLockGuard& eventLock) override;

    // The answer to a request of the own method, sent on its server transaction.
    virtual std::unique_ptr<kel_sip::SipMessageExt> answer(const kel_sip::SipMessageExt& request,
                                                           int serverTransactionId) = 0;
    // Whether clean logs its two lines.
    virtual bool logsClean() const { return true; }

private:
    void refuseMethod(const kel_sip::SipMessageExt& request, int serverTransactionId);

    const char* const className_;
    const int methodKind_;
    bool started_ = false;  // between a successful init and clean; only clean logs
};
