// The transaction layer (RFC 3261 section 17): one worker pool with its own timer thread
// between the transports and the transaction users. It keeps the client transactions keyed by
// branch and the server transactions keyed by branch (or Call-ID), matches every received
// message to its transaction (RFC 3261 sections 17.1.3 and 17.2.3) or creates one, answers a
// request that no transaction takes with 500, runs the machines' timers, and reports to the
// transaction user registered for the method. As the SipTransportUser it picks the transport
// of each message.
//
// Several controllers may live in one process, each with its own transports and users.
//
// Threads: the SipTransactionController operations, setTimers and notifyTU may be called from
// any thread; init and clean from the owner. A received message is worked on to the end on the
// transport's thread that read it (takeReceivedMessage), up to the post to its transaction
// user. Timer expiries and transport errors run on the workers in locked dispatch: each path
// gives up the eventLock right after locking the list it needs. Lock order: eventLock, list,
// entry. A transaction is only touched under its entry lock, and its sends happen under it.
//
// Every operation and the receive path pass a gate that clean closes: clean waits for those
// inside, so the users' threads and the transports may still be calling when it runs.
#pragma once

#include <atomic>
#include <string>

#include "kel_sip/transaction/SipTransactionController.h"
#include "kel_sip/transaction/SipTransactionList.h"
#include "kel_sip/transaction/TransactionUserMap.h"
#include "kel_sip/transport/SipTransportReceiver.h"
#include "kel_sip/transport/SipTransportUser.h"
#include "kel_util/EventHandlerExt.h"
#include "kel_util/OperationGate.h"

namespace kel_sip {

class ClientTransaction;
class ServerTransaction;

class SipTransactionControllerImpl : public SipTransportUser,
                                     public SipTransportReceiver,
                                     public SipTransactionController,
                                     public kel_util::EventHandlerExt {
public:
    // defaultUser (may be null) serves every method without a registered user. The timers
    // keep clock for their life.
    explicit SipTransactionControllerImpl(kel_util::EventHandler2* defaultUser,
                                          kel_util::ClockSource& clock = kel_util::clockSource());
    ~SipTransactionControllerImpl() override;

    // Starts the timer thread and workerCount workers.
    bool init(int workerCount);
    // Closes the gate and waits for the operations inside, stops the pool and the timer,
    // deletes every transaction and forgets users and transports.
    void clean() override;

    // The largest timer value accepted: 64 times it still fits in an int.
    static constexpr int kMaxTimerValue = 0x7fffffff / 64;

    // The end-of-life timers (D, I, J, K) fire on a grid of this many milliseconds.
    static constexpr int kTerminalTimerGrid = 64;
    // The delay that makes a timer set now for milliseconds fire on the next grid line: these
    // timers only bound how long retransmissions are absorbed, and expiring together lets the
    // timer thread and the workers take a whole batch per wake-up instead of one each.
    int terminalTimerDelay(int milliseconds) const;

    // Replaces each value (milliseconds) that is greater than 0 and at most kMaxTimerValue;
    // later timers use them.
    void setTimers(int t1, int t2, int t4, int td);
    TransactionTimerValues timerValues() const;

    // Works on a received request or response at once, on the caller's thread; a transport
    // error is queued for the workers (it is reported from inside a send). False when the
    // controller is cleaned or no longer accepts (the transport then answers a request itself).
    bool takeReceivedMessage(int eventType, std::unique_ptr<SipMessageExt>& message, intptr_t param2,
                             SipTransportBase& transport) override;

    bool addTransactionUser(const std::vector<int>& methodKinds, kel_util::EventHandler2* user) override;
    int sendRequest(const SipMessageExt& request, int userId, kel_util::EventHandler2* user) override;
    bool sendResponse(int serverTransactionId, const SipMessageExt& response, int parameter) override;
    bool sendResponse(const SipMessageExt& response, int parameter, bool notifyFailureAck) override;
    int findTrancsactionToCancel(const SipMessageExt& cancel) override;
    bool deleteClientTransaction(int id) override;
    bool deleteServerTransaction(int id) override;
    void createBranch(std::string& branch) override;

    // Posts type with the message, the transaction ID and the user ID to user, at the tail.
    // On success the event owns the message and the slot is null; on failure (no user, or its
    // queue refuses) the message stays in the slot.
    bool notifyTU(kel_util::EventHandler2* user, int type, SipMessageSlot& message, int transactionId, int userId);

    bool startProc(int workerId) override;
    void endProc(int workerId) override;

protected:
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    bool onTimeout(int id, int timer) override;

private:
    // The receive paths, on the thread that received the message.
    void receive(int eventType, SipMessageSlot& message);
    bool onReceiveRequest(SipMessageSlot& request);
    bool onReceiveResponse(SipMessageSlot& response, bool headerLengthError);
    // Entered holding the eventLock.
    bool onTransportError(SipMessageSlot& message, int transactionId);
    // A new server transaction for request, made before the server list is locked: nearly
    // every request starts one, and a retransmission throws it away. Null when it cannot be
    // made.
    std::unique_ptr<ServerTransaction> makeServerTransaction(SipMessageExt& request, kel_util::EventHandler2* user);
    // Answers a request that no transaction took with 500 on the transport it came in on.
    bool answerUntaken(SipMessageSlot& request);

    // Sends a response found or not found on a server transaction (record held or null, the
    // server list locked in both cases).
    bool _sendResponse(SipTransactionListData* record, const SipMessageExt& response, int parameter,
                       bool notifyFailureAck);
    // notFound: the log format for an unknown ID.
    bool deleteTransaction(SipTransactionList& list, int id, const char* notFound);

    // Ends a step on a held transaction: logs its result, removes it when the step failed or
    // it reached Terminated, releases it and unlocks the list. failureDetail goes into the
    // failure line after the state. Returns ok.
    bool finishStep(SipTransactionList& list, SipTransactionListData* record, bool ok, const char* operation,
                    const char* step, const std::string& failureDetail = {});

    kel_util::ClockSource& clock_;
    kel_util::OperationGate gate_;
    TransactionUserMap users_;
    SipTransactionList clients_;
    SipTransactionList servers_;
    std::atomic<int> t1_{500};
    std::atomic<int> t2_{4000};
    std::atomic<int> t4_{5000};
    std::atomic<int> td_{32000};
};

}  // namespace kel_sip
