#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "RecordingHandler.h"
#include "kel_util/Clock.h"
#include "kel_util/EventHandlerExt.h"
#include "kel_util/EventHandlerExt2.h"
#include "kel_util/SimpleTimer.h"

using kel_util::ManualClock;
using Ms = std::chrono::milliseconds;

namespace {

constexpr int kFence = 2;
constexpr int kBlock = 3;
constexpr int kTimerEvent = kel_util::EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER;

// One locked-dispatch worker recording every timeout; kBlock events hold the worker at a gate
// and kFence events mark that everything queued before them has been handled.
class TimeoutHandler : public kel_util::EventHandlerExt {
public:
    explicit TimeoutHandler(kel_util::ClockSource& clock = kel_util::clockSource(), int workers = 1) : EventHandlerExt(clock) {
        EXPECT_TRUE(init(workers));
    }
    ~TimeoutHandler() override { clean(); }

    // Waits until everything posted so far (timer expiries included) has been handled.
    bool fence() {
        const int mine = ++fencesPosted_;
        postEvent(kFence, mine, 0, nullptr);
        return monitor.waitFor([&] { return fencesSeen >= mine; });
    }
    void block() {
        postEvent(kBlock, 0, 0, nullptr);
        blocked.pass();
    }
    std::vector<std::pair<int, int>> timeouts() {
        std::lock_guard<std::mutex> guard(monitor.mutex());
        return fired;
    }

    kel_test::Monitor monitor;
    std::vector<std::pair<int, int>> fired;  // guarded by monitor
    std::vector<int> cleanedTypes;           // guarded by monitor
    int fencesSeen = 0;                      // guarded by monitor
    kel_test::Gate blocked;
    kel_test::Gate gate;
    std::function<void()> onTimeoutHook;

protected:
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override {
        if (type == kFence) {
            releaseEventLock();
            monitor.update([&] { fencesSeen = static_cast<int>(param1); });
        } else if (type == kBlock) {
            releaseEventLock();
            blocked.open();
            gate.pass();
        } else {
            EventHandlerExt::onEvent(workerId, type, param1, param2, from);
        }
    }
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override {
        monitor.update([&] { cleanedTypes.push_back(type); });
        EventHandlerExt::onEventClean(workerId, type, param1, param2, from);
    }
    bool onTimeout(int id, int param) override {
        if (onTimeoutHook) onTimeoutHook();
        releaseEventLock();
        monitor.update([&] { fired.emplace_back(id, param); });
        return true;
    }

private:
    std::atomic<int> fencesPosted_{0};
};

using Fired = std::vector<std::pair<int, int>>;

}  // namespace

TEST(Timer, FiresExactlyAtItsExpiryOnTheClockGiven) {
    ManualClock clock;
    TimeoutHandler handler(clock);
    ASSERT_TRUE(handler.setTimer(500, 1, 10));
    ASSERT_TRUE(clock.advance(Ms(499)));
    ASSERT_TRUE(handler.fence());
    EXPECT_TRUE(handler.timeouts().empty()) << "fired early";
    ASSERT_TRUE(clock.advance(Ms(1)));
    ASSERT_TRUE(handler.fence());
    EXPECT_EQ(handler.timeouts(), (Fired{{1, 10}}));
}

TEST(Timer, EqualExpiriesFireInTheOrderSetAndZeroDelayAheadOfLaterTasks) {
    ManualClock clock;
    TimeoutHandler handler(clock);
    handler.block();  // expiries queue up behind the held worker
    ASSERT_TRUE(handler.setTimer(20, 5, 0));
    for (int id = 1; id <= 3; ++id) ASSERT_TRUE(handler.setTimer(10, id, 0));
    ASSERT_TRUE(clock.advance(Ms(10)));
    ASSERT_TRUE(handler.setTimer(0, 4, 0));
    ASSERT_TRUE(handler.setTimer(-7, 6, 0));  // like 0: after the tasks already due
    ASSERT_TRUE(clock.advance(Ms(0)));
    handler.gate.open();
    ASSERT_TRUE(handler.fence());
    EXPECT_EQ(handler.timeouts(), (Fired{{1, 0}, {2, 0}, {3, 0}, {4, 0}, {6, 0}}));
    ASSERT_TRUE(clock.advance(Ms(10)));
    ASSERT_TRUE(handler.fence());
    EXPECT_EQ(handler.timeouts().back(), std::make_pair(5, 0));
}

TEST(Timer, CancellingATaskWhoseExpiryIsQueuedTakesTheEventBack) {
    ManualClock clock;
    TimeoutHandler handler(clock);
    handler.block();
    ASSERT_TRUE(handler.setTimer(10, 7, 1));
    ASSERT_TRUE(handler.setTimer(10, 8, 1));
    ASSERT_TRUE(clock.advance(Ms(10)));  // both expiries now wait in the queue
    EXPECT_EQ(handler.cancelTimer(7, 1), 1);
    EXPECT_EQ(handler.cancelTimer(7, 1), 0);
    EXPECT_EQ(handler.cancelTimer(8, 2), 0) << "param must match";
    handler.gate.open();
    ASSERT_TRUE(handler.fence());
    EXPECT_EQ(handler.timeouts(), (Fired{{8, 1}}));
}

TEST(Timer, CancelWithAnIdMatchingTwoTasksRemovesOne) {
    ManualClock clock;
    TimeoutHandler handler(clock);
    ASSERT_TRUE(handler.setTimer(10, 5, 1));
    ASSERT_TRUE(handler.setTimer(20, 5, 1));
    EXPECT_EQ(handler.cancelTimer(5, 1), 1);
    ASSERT_TRUE(clock.advance(Ms(30)));
    ASSERT_TRUE(handler.fence());
    EXPECT_EQ(handler.timeouts(), (Fired{{5, 1}}));
}

TEST(Timer, AtCleanPendingTasksAndQueuedExpiriesNeverReachOnTimeout) {
    ManualClock clock;
    TimeoutHandler handler(clock);
    handler.block();
    ASSERT_TRUE(handler.setTimer(10, 1, 0));
    ASSERT_TRUE(handler.setTimer(1000, 2, 0));
    ASSERT_TRUE(clock.advance(Ms(10)));  // task 1 queued, task 2 pending
    handler.stop();
    handler.gate.open();
    handler.clean();
    EXPECT_TRUE(handler.timeouts().empty());
    EXPECT_EQ(handler.cleanedTypes, std::vector<int>{kTimerEvent});
    EXPECT_FALSE(handler.setTimer(10, 3, 0)) << "set after clean";
}

// A refused second init once stopped the running timer thread, losing every pending task.
TEST(Timer, ASecondInitIsRefusedAndLeavesTheRunningTimerAlone) {
    ManualClock clock;
    TimeoutHandler handler(clock);
    ASSERT_TRUE(handler.setTimer(10, 1, 0));
    EXPECT_FALSE(handler.init(1));
    ASSERT_TRUE(clock.advance(Ms(10)));
    ASSERT_TRUE(handler.fence());
    EXPECT_EQ(handler.timeouts(), (Fired{{1, 0}}));
}

namespace {

class RecordingTimer : public kel_util::SimpleTimer {
public:
    using SimpleTimer::SimpleTimer;
    ~RecordingTimer() override { discardAndStop(); }
    kel_test::Monitor monitor;
    std::vector<int> fired;    // guarded by monitor
    std::vector<int> cleaned;  // guarded by monitor

protected:
    void timerProc(int id, int) override {
        monitor.update([&] { fired.push_back(id); });
    }
    void timerCleanProc(int id, int) override {
        monitor.update([&] { cleaned.push_back(id); });
    }
};

}  // namespace

TEST(SimpleTimer, StopHandsPendingTasksToTimerCleanProcButNotCancelledOnes) {
    ManualClock clock;
    RecordingTimer timer(clock);
    EXPECT_FALSE(timer.setTimer(10, 1, 0)) << "set before start";
    ASSERT_TRUE(timer.start());
    for (int id = 1; id <= 3; ++id) ASSERT_TRUE(timer.setTimer(100 * id, id, 0));
    EXPECT_EQ(timer.cancel(2, 0, true), 1);
    timer.stop();
    EXPECT_TRUE(timer.fired.empty());
    EXPECT_EQ(timer.cleaned, (std::vector<int>{1, 3}));
    EXPECT_EQ(clock.attachedCount(), 0);
}

TEST(Timer, WorkersSetAndCancelTimersWhileHoldingTheirEventLock) {
    // The timer thread posts while workers hold their eventLock and call into the timer; if
    // posting took the eventLock this would deadlock and the wait would run out.
    kel_util::SystemClock clock;
    TimeoutHandler handler(clock, 2);
    constexpr int kRounds = 300;
    std::atomic<int> calls{0};
    handler.onTimeoutHook = [&] {
        // Still holding the eventLock here.
        const int round = ++calls;
        if (round < kRounds) {
            handler.setTimer(0, round, 0);
            handler.setTimer(1000, round, 1);
            handler.cancelTimer(round, 1);
        }
    };
    ASSERT_TRUE(handler.setTimer(0, 0, 0));
    ASSERT_TRUE(handler.monitor.waitFor([&] { return handler.fired.size() == kRounds; }));
}

TEST(Timer, RealClockNeverFiresEarly) {
    kel_util::SystemClock clock;
    TimeoutHandler handler(clock);
    const auto set = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point firedAt;
    handler.onTimeoutHook = [&] { firedAt = std::chrono::steady_clock::now(); };
    ASSERT_TRUE(handler.setTimer(50, 1, 0));
    ASSERT_TRUE(handler.monitor.waitFor([&] { return handler.fired.size() == 1; }));
    EXPECT_GE(firedAt - set, Ms(50));
}

namespace {

class Timeout2Handler : public kel_util::EventHandlerExt2 {
public:
    explicit Timeout2Handler(kel_util::ClockSource& clock) : EventHandlerExt2(clock) { EXPECT_TRUE(init(1)); }
    ~Timeout2Handler() override { clean(); }
    kel_test::Monitor monitor;
    std::vector<std::vector<int>> fired;  // guarded by monitor

protected:
    bool onTimeout(int id, int param1, int param2) override {
        releaseEventLock();
        monitor.update([&] { fired.push_back({id, param1, param2}); });
        return true;
    }
};

}  // namespace

TEST(Timer, SecondFormCarriesBothParametersAndCancelsByTheFirst) {
    ManualClock clock;
    Timeout2Handler handler(clock);
    ASSERT_TRUE(handler.setTimer(10, 1, 2, 3));
    ASSERT_TRUE(handler.setTimer(10, 4, 5, 6));
    EXPECT_EQ(handler.cancelTimer(4, 5), 1);
    ASSERT_TRUE(clock.advance(Ms(10)));
    ASSERT_TRUE(handler.monitor.waitFor([&] { return !handler.fired.empty(); }));
    handler.clean();
    EXPECT_EQ(handler.fired, (std::vector<std::vector<int>>{{1, 2, 3}}));
}

TEST(Timer, HandlersBuiltWhileAClockIsInstalledUseIt) {
    kel_util::ClockSource& before = kel_util::clockSource();
    {
        ManualClock clock;
        kel_util::ScopedClockSource installed(clock);
        ASSERT_EQ(&kel_util::clockSource(), &clock);
        TimeoutHandler handler;  // takes the process-wide clock source
        ASSERT_TRUE(handler.setTimer(3600 * 1000, 9, 0));  // an hour, passed in an instant
        ASSERT_TRUE(clock.advance(std::chrono::hours(1)));
        ASSERT_TRUE(handler.monitor.waitFor([&] { return handler.fired.size() == 1; }));
    }
    EXPECT_EQ(&kel_util::clockSource(), &before);
}
