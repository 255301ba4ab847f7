// A TransactionUserExt that records what reaches its procedures, in a stack with a controller
// and a UDP transport on 127.0.0.1, and a message type that counts its live instances so that
// tests see every event's message freed.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "ControllerTestKit.h"
#include "kel_sip/transaction/TransactionUserExt.h"

namespace kel_sip::test {

// Counts the instances alive, so a test can see that a message was freed exactly once.
struct CountedMessage : SipMessageExt {
    explicit CountedMessage(const SipMessageExt& message) : SipMessageExt(message) { ++live; }
    ~CountedMessage() override { --live; }
    static std::atomic<int> live;
};

// Waits for condition, checking it every millisecond; false at the deadline.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = kDeadline);

// One procedure call as the user saw it.
struct ProcedureCall {
    std::string procedure;
    std::string method;
    int statusCode = 0;  // the timer name for onTimeout
    int id = 0;  // transaction ID for requests, else the user ID
    std::shared_ptr<SipMessageExt> message;
};

// Answers OPTIONS itself with 200 (To tag: toTag), keeps INFO for the test to answer, and
// leaves every other method to the default 405. Responses with status 180 and 181 exercise
// the eventLock: 180 releases it twice and waits for a later event to run; 181 never
// releases it.
class TestUser : public TransactionUserExt {
public:
    explicit TestUser(SipTransactionController& controller) : TransactionUserExt(controller) {}
    ~TestUser() override { clean(); }

    bool waitForCalls(std::size_t count, std::chrono::milliseconds limit = kDeadline);
    std::vector<ProcedureCall> calls();

    std::atomic<const char*> toTag{nullptr};
    std::atomic<bool> sawLaterEvent{false};

protected:
    int procReceiveRequest(SipMessageSlot& request, int serverTransactionId, EventLockGuard& eventLock) override;
    bool procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) override;
    bool procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) override;
    bool onTimeout(int id, int timerName, EventLockGuard& eventLock) override;

private:
    // timerName stands in the call's statusCode when there is no message.
    void record(const char* procedure, const SipMessageExt* message, int id, int timerName = 0);

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<ProcedureCall> calls_;
};

// Controller, user (also the controller's default user) and transport, cleaned in that order.
struct UserStack {
    UserStack();
    ~UserStack();

    SipTransactionControllerImpl controller;
    TestUser user;
    SipUDPTransport transport;
    int port = 0;
};

}  // namespace kel_sip::test
