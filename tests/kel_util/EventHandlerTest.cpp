#include "kel_util/EventHandler.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "RecordingHandler.h"
#include "kel_util/EventHandler2.h"
#include "kel_util/Thread.h"

using kel_test::Event;
using kel_test::Gate;
using kel_test::RecordingHandler;

namespace {

constexpr int kBlock = 100;

// One worker held inside the first event, so that everything posted afterwards waits queued.
class BlockedHandler : public RecordingHandler {
public:
    explicit BlockedHandler(bool lockedDispatch) {
        hook = [this](const Event& event) {
            releaseEventLock();
            if (event.type != kBlock) return;
            entered.open();
            gate.pass();
        };
        EXPECT_TRUE(init(1, lockedDispatch));
        postEvent(kBlock, 0, 0, nullptr);
        EXPECT_TRUE(entered.pass());
    }
    Gate entered;
    Gate gate;
};

}  // namespace

TEST(EventHandler, OneWorkerDispatchesInPostingOrderWhileFrontMessagesJumpTheQueueInOrder) {
    BlockedHandler handler(false);
    for (int type = 1; type <= 3; ++type) ASSERT_TRUE(handler.postEvent(type, 0, 0, nullptr));
    ASSERT_TRUE(handler.postEvent(10, 0, 0, nullptr, true));
    ASSERT_TRUE(handler.postEvent(11, 0, 0, nullptr, true));
    ASSERT_TRUE(handler.postEvent(4, 0, 0, nullptr));
    EXPECT_EQ(handler.removeEvent(10, 0, 0, nullptr), 1);
    ASSERT_TRUE(handler.postEvent(10, 0, 0, nullptr, true));  // behind 11 now
    handler.gate.open();
    ASSERT_TRUE(handler.waitHandled(7));
    EXPECT_EQ(handler.handledTypes(), (std::vector<int>{kBlock, 11, 10, 1, 2, 3, 4}));
}

TEST(EventHandler, MessagePostedWhileWorkersGoIdleIsDispatched) {
    // Each post races with workers between their emptiness check and their wait; a lost
    // signal leaves the message queued and the wait below runs out.
    RecordingHandler handler;
    ASSERT_TRUE(handler.init(2, false));
    for (std::size_t i = 1; i <= 2000; ++i) {
        ASSERT_TRUE(handler.postEvent(1, static_cast<intptr_t>(i), 0, nullptr));
        ASSERT_TRUE(handler.waitHandled(i)) << "message " << i << " was not dispatched";
    }
}

TEST(EventHandler, StopRightAfterStartAlwaysLetsTheWorkersEnd) {
    // Workers that have just checked the running flag must not miss the wake-up of stop;
    // otherwise clean() never returns and the test times out.
    for (int round = 0; round < 200; ++round) {
        RecordingHandler handler;
        ASSERT_TRUE(handler.init(3, round % 2 == 0));
        handler.clean();
        EXPECT_FALSE(handler.isRunning());
    }
}

TEST(EventHandler, MessagesQueuedAtStopReachOnEventCleanOnly) {
    for (const bool lockedDispatch : {false, true}) {
        BlockedHandler handler(lockedDispatch);
        for (int type = 1; type <= 3; ++type) ASSERT_TRUE(handler.postEvent(type, 0, 0, nullptr));
        handler.stop();
        EXPECT_FALSE(handler.postEvent(4, 0, 0, nullptr)) << "accepted after stop";
        handler.gate.open();
        handler.clean();
        EXPECT_EQ(handler.handledTypes(), std::vector<int>{kBlock});
        std::vector<int> cleaned;
        for (const Event& event : handler.cleaned) cleaned.push_back(event.type);
        EXPECT_EQ(cleaned, (std::vector<int>{1, 2, 3}));
    }
}

TEST(EventHandler, PostBeforeInitAndAfterCleanIsRefused) {
    RecordingHandler handler;
    EXPECT_FALSE(handler.postEvent(1, 0, 0, nullptr));
    ASSERT_TRUE(handler.init(1, false));
    EXPECT_FALSE(handler.init(1, false));
    handler.clean();
    EXPECT_FALSE(handler.postEvent(1, 0, 0, nullptr));
    EXPECT_TRUE(handler.cleaned.empty());
}

TEST(EventHandler, FullQueueRefusesAndCountsTailPostsButTakesTimerExpiries) {
    BlockedHandler handler(true);
    handler.setQueueLimit(2);
    EXPECT_TRUE(handler.postEvent(1, 0, 0, nullptr));
    EXPECT_TRUE(handler.postEvent(2, 0, 0, nullptr));
    EXPECT_FALSE(handler.postEvent(3, 0, 0, nullptr));
    EXPECT_FALSE(handler.postEvent(4, 0, 0, nullptr));
    EXPECT_TRUE(handler.postEvent(10, 0, 0, nullptr, true));  // a front message is never refused
    EXPECT_EQ(handler.getDroppedCount(), 2u);
    handler.gate.open();
    ASSERT_TRUE(handler.waitHandled(4));
    EXPECT_EQ(handler.handledTypes(), (std::vector<int>{kBlock, 10, 1, 2}));
    EXPECT_TRUE(handler.postEvent(5, 0, 0, nullptr));  // room again once the queue drained
    ASSERT_TRUE(handler.waitHandled(5));
}

TEST(EventHandler, RemoveEventTakesOnlyTheFirstMessageMatchingAllFourFields) {
    BlockedHandler handler(false);
    int senderA = 0;
    int senderB = 0;
    handler.postEvent(1, 10, 20, &senderA);
    handler.postEvent(1, 10, 20, &senderA);
    handler.postEvent(1, 10, 20, &senderB);
    handler.postEvent(2, 10, 20, &senderA);
    handler.postEvent(1, 11, 20, &senderA);
    EXPECT_EQ(handler.removeEvent(1, 10, 20, &senderA), 1);
    EXPECT_EQ(handler.removeEvent(1, 10, 21, &senderA), 0);
    handler.gate.open();
    ASSERT_TRUE(handler.waitHandled(5));
    std::lock_guard<std::mutex> guard(handler.monitor.mutex());
    int fromA = 0;
    for (const Event& event : handler.handled) {
        if (event.type == 1 && event.param1 == 10 && event.from == &senderA) ++fromA;
    }
    EXPECT_EQ(fromA, 1);
}

TEST(EventHandler, LockedDispatchBeginsInQueueOrderAndRunsWorkInParallel) {
    RecordingHandler handler;
    kel_test::Monitor inside;
    std::vector<intptr_t> begun;
    int concurrent = 0;
    int maxConcurrent = 0;
    handler.hook = [&](const Event& event) {
        // Still holding the event lock: the order of these entries is the dispatch order.
        inside.update([&] {
            begun.push_back(event.param1);
            maxConcurrent = std::max(maxConcurrent, ++concurrent);
        });
        handler.releaseEventLock();
        // Events 2k and 2k+1 work on different entries: each waits until its partner has begun,
        // which only happens when the two run at the same time.
        const std::size_t pairEnd = static_cast<std::size_t>(event.param1 / 2 * 2 + 2);
        inside.waitFor([&] { return begun.size() >= pairEnd; }, std::chrono::seconds(2));
        inside.update([&] { --concurrent; });
    };
    ASSERT_TRUE(handler.init(2, true));
    std::vector<intptr_t> expected;
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(handler.postEvent(1, i, 0, nullptr));
        expected.push_back(i);
    }
    ASSERT_TRUE(handler.waitHandled(20));
    std::lock_guard<std::mutex> guard(inside.mutex());
    EXPECT_EQ(begun, expected);
    EXPECT_EQ(maxConcurrent, 2);
}

TEST(EventHandler, DispatchThatKeepsTheEventLockDoesNotStallThePool) {
    RecordingHandler handler;
    handler.hook = [](const Event&) {};  // forgets releaseEventLock
    ASSERT_TRUE(handler.init(2, true));
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(handler.postEvent(1, i, 0, nullptr));
    EXPECT_TRUE(handler.waitHandled(10));
}

TEST(EventHandler, WorkersAreNamedAfterThePool) {
    RecordingHandler handler;
    std::vector<std::string> names(2);
    handler.setName("Transport");
    ASSERT_TRUE(handler.init(2, false));
    // One event per worker, each held until both have started, so both workers take one.
    Gate both;
    std::atomic<int> started{0};
    handler.hook = [&](const Event& event) {
        names[static_cast<std::size_t>(event.workerId)] = kel_util::currentThreadName();
        if (++started == 2) both.open();
        both.pass();
    };
    handler.postEvent(1, 0, 0, nullptr);
    handler.postEvent(1, 0, 0, nullptr);
    ASSERT_TRUE(handler.waitHandled(2));
    EXPECT_EQ(names, (std::vector<std::string>{"Transport(0)", "Transport(1)"}));
}

namespace {

class Recording2 : public kel_util::EventHandler2 {
public:
    ~Recording2() override { clean(); }
    kel_test::Monitor monitor;
    std::vector<intptr_t> param3s;

protected:
    void onEvent(int, int, intptr_t, intptr_t, intptr_t param3, const void*) override {
        monitor.update([&] { param3s.push_back(param3); });
    }
    void onEventClean(int, int, intptr_t, intptr_t, intptr_t, const void*) override {}
};

}  // namespace

TEST(EventHandler2, CarriesTheThirdParameterAndZeroWithoutIt) {
    Recording2 handler;
    ASSERT_TRUE(handler.init(1, false));
    ASSERT_TRUE(handler.postEvent(1, 1, 2, 33, nullptr));
    ASSERT_TRUE(handler.postEvent(1, 1, 2, nullptr));
    ASSERT_TRUE(handler.monitor.waitFor([&] { return handler.param3s.size() == 2; }));
    EXPECT_EQ(handler.param3s, (std::vector<intptr_t>{33, 0}));
}
