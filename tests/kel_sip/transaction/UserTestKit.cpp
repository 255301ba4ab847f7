#include "UserTestKit.h"

#include <thread>

#include <netinet/in.h>

#include <gtest/gtest.h>

#include "kel_sip/syntax/SipMethod.h"

namespace kel_sip::test {

std::atomic<int> CountedMessage::live{0};

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool TestUser::waitForCalls(std::size_t count, std::chrono::milliseconds limit) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return calls_.size() >= count; });
}

std::vector<ProcedureCall> TestUser::calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

void TestUser::record(const char* procedure, const SipMessageExt* message, int id, int timerName) {
    ProcedureCall call;
    call.procedure = procedure;
    call.id = id;
    call.statusCode = timerName;
    if (message != nullptr) {
        call.method = message->getMethodName();
        call.statusCode = message->statusCode;
        call.message = std::make_shared<SipMessageExt>(*message);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(std::move(call));
    changed_.notify_all();
}

int TestUser::procReceiveRequest(SipMessageSlot& request, int serverTransactionId, EventLockGuard& eventLock) {
    if (request->methodKind == SipMethod::Options) {
        eventLock.release();
        record("procReceiveRequest", request.get(), serverTransactionId);
        sendResponseFromRequest(serverTransactionId, *request, 200, nullptr, toTag.load(), 0);
        return 0;
    }
    if (request->methodKind == SipMethod::Info) {
        eventLock.release();
        record("procReceiveRequest", request.get(), serverTransactionId);
        return 0;
    }
    return TransactionUserExt::procReceiveRequest(request, serverTransactionId, eventLock);
}

bool TestUser::procReceiveResponse(SipMessageSlot& response, int userId, EventLockGuard& eventLock) {
    if (response->statusCode == 180) {
        eventLock.release();
        eventLock.release();  // the second call must change nothing
        // Only a released eventLock lets another worker take the next event meanwhile.
        sawLaterEvent = waitUntil([this] { return calls().size() > 0; });
    } else if (response->statusCode != 181) {
        eventLock.release();
    }
    record("procReceiveResponse", response.get(), userId);
    return true;
}

bool TestUser::procClientTransactionTimeout(SipMessageSlot& request, int userId, EventLockGuard& eventLock) {
    eventLock.release();
    record("procClientTransactionTimeout", request.get(), userId);
    return true;
}

bool TestUser::onTimeout(int id, int timerName, EventLockGuard& eventLock) {
    eventLock.release();
    record("onTimeout", nullptr, id, timerName);
    return true;
}

UserStack::UserStack() : controller(&user), user(controller), transport(controller, 0) {
    controller.setTimers(100, 400, 500, 500);
    EXPECT_TRUE(controller.init(2));
    EXPECT_TRUE(user.init(2, "tessaly.test"));
    EXPECT_TRUE(user.registerMethods({SipMethod::Options, SipMethod::Info}));
    EXPECT_TRUE(transport.open("127.0.0.1", 0, "127.0.0.1", AF_INET, false));
    EXPECT_TRUE(controller.addUDPTransport(&transport));
    port = transport.getLocalAddress().getPort();
}

UserStack::~UserStack() {
    transport.close();
    controller.clean();
    user.clean();
}

}  // namespace kel_sip::test
