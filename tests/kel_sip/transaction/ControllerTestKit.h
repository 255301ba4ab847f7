// Whole stacks for the transaction controller tests: a controller with a UDP transport on
// 127.0.0.1 and a recording transaction user, and a raw UDP peer that sends and reads SIP
// text, for the cases a well-behaved stack never produces (retransmissions, stray ACKs and
// 2xx responses).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/transaction/SipTransactionControllerImpl.h"
#include "kel_sip/transport/SipUDPTransport.h"
#include "kel_util/EventHandler2.h"

namespace kel_sip::test {

inline constexpr std::chrono::milliseconds kDeadline{5000};

// Whether condition becomes true before the deadline; for state that nothing signals (a
// transaction the controller erases just after it has told its user).
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit = kDeadline);

// What a transaction user was told.
struct UserEvent {
    int type = 0;
    std::shared_ptr<SipMessageExt> message;
    int transactionId = 0;
    int userId = 0;
};

// A transaction user that records every event it receives.
class RecordingUser : public kel_util::EventHandler2 {
public:
    RecordingUser();
    ~RecordingUser() override;

    // Waits until at least count events have arrived; false at the deadline.
    bool waitForCount(std::size_t count, std::chrono::milliseconds limit = kDeadline);
    std::size_t count();
    UserEvent event(std::size_t index);

protected:
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3, const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                      const void* from) override;

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<UserEvent> events_;
};

// One stack: user, controller (the user is its default user unless told otherwise) and a
// UDP transport on 127.0.0.1 with a port of the system's choosing.
class Stack {
public:
    explicit Stack(bool withDefaultUser = true, TransactionTimerValues timers = {100, 400, 500, 500});
    ~Stack();

    // A request from this stack to the stack listening on port. The CSeq names method unless
    // cseqMethod is given.
    std::unique_ptr<SipMessageExt> request(const std::string& method, int port, const std::string& branch,
                                           const std::string& cseqMethod = "") const;

    RecordingUser user;
    SipTransactionControllerImpl controller;
    SipUDPTransport transport;
    int port = 0;
};

// A plain UDP socket on 127.0.0.1 for SIP text.
class RawPeer {
public:
    RawPeer();
    ~RawPeer();
    RawPeer(const RawPeer&) = delete;
    RawPeer& operator=(const RawPeer&) = delete;

    // Sends text ("\n" line ends become CRLF) to 127.0.0.1:port.
    void send(const std::string& text, int port);
    // The next message received, parsed; null at the deadline.
    std::unique_ptr<SipMessageExt> receive(std::chrono::milliseconds limit = kDeadline);

    int port = 0;

private:
    int fd_ = -1;
};

}  // namespace kel_sip::test
