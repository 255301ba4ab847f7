// The TransactionContext that the transaction controller gives each transaction: sends go
// through the transaction's transport, timers run on the controller's timer thread named by
// (transaction ID, timer number), and notifications go to the transaction's user through the
// controller's notifyTU.
//
// Threads: see TransactionContext; the transport and the user must outlive the transaction
// (the controller deletes every transaction in clean, before its transports are dropped).
#pragma once

#include "kel_sip/transaction/TransactionContext.h"
#include "kel_util/EventHandler2.h"

namespace kel_sip {

class SipTransactionControllerImpl;
class SipTransportBase;

class ControllerTransactionContext : public TransactionContext {
public:
    ControllerTransactionContext(SipTransactionControllerImpl& controller, SipTransportBase& transport,
                                 kel_util::EventHandler2* user)
        : controller_(controller), transport_(transport), user_(user) {}

    bool sendRequest(SipMessageExt& request, int transactionId) override;
    bool sendResponse(SipMessageExt& response, int transactionId) override;
    bool isReliable() const override;
    const void* transport() const override { return &transport_; }

    bool startTimer(int transactionId, int timer, int milliseconds) override;
    void cancelTimer(int transactionId, int timer) override;

    bool notifyUser(int type, SipMessageSlot& message, int transactionId, int userId) override;
    TransactionTimerValues timerValues() const override;

private:
    SipTransactionControllerImpl& controller_;
    SipTransportBase& transport_;
    kel_util::EventHandler2* const user_;
};

}  // namespace kel_sip
