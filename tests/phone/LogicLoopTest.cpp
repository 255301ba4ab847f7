#include "phone/LogicLoop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "kel_util/Clock.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kDeadline = 10s;

// Counts its destructions, so a test sees every record freed exactly once.
struct CountedRecord : LogicRecord {
    CountedRecord(std::atomic<int>& freed, int sender, int sequence) : freed(freed), sender(sender), sequence(sequence) {}
    ~CountedRecord() override { ++freed; }
    std::atomic<int>& freed;
    int sender;
    int sequence;
};

struct Delivery {
    int message;
    int sender;
    int sequence;
};

struct Firing {
    int timerId;
    kel_util::ClockSource::TimePoint at;
};

class RecordingWindow : public LogicWindow {
public:
    explicit RecordingWindow(kel_util::ClockSource& clock = kel_util::clockSource()) : clock_(clock) {}

    void onMessage(int message, std::unique_ptr<LogicRecord> record) override {
        const auto* counted = dynamic_cast<const CountedRecord*>(record.get());
        {
            std::lock_guard guard(mutex_);
            deliveries_.push_back({message, counted ? counted->sender : -1, counted ? counted->sequence : -1});
        }
        if (onEachMessage) onEachMessage(message);
    }
    void onTimer(int timerId) override {
        {
            std::lock_guard guard(mutex_);
            firings_.push_back({timerId, clock_.now()});
        }
        if (onEachTimer) onEachTimer(timerId);
    }

    std::vector<Delivery> deliveries() {
        std::lock_guard guard(mutex_);
        return deliveries_;
    }
    std::vector<Firing> takeFirings() {
        std::lock_guard guard(mutex_);
        return std::exchange(firings_, {});
    }

    std::function<void(int)> onEachMessage;
    std::function<void(int)> onEachTimer;

private:
    kel_util::ClockSource& clock_;
    std::mutex mutex_;
    std::vector<Delivery> deliveries_;
    std::vector<Firing> firings_;
};

// Holds the loop thread inside a handler until opened.
class Gate {
public:
    void waitEntered() {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(changed_.wait_for(lock, kDeadline, [this] { return entered_; }));
    }
    void enterAndWait() {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void open() {
        std::lock_guard guard(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool open_ = false;
};

TEST(LogicLoopTest, PostsFromManyThreadsArriveOnceAndInOrderPerThread) {
    constexpr int kThreads = 4;
    constexpr int kPerThread = 500;
    std::atomic<int> freed{0};
    RecordingWindow window;
    LogicLoop loop(window);
    ASSERT_TRUE(loop.start());

    std::vector<std::thread> senders;
    for (int sender = 0; sender < kThreads; ++sender) {
        senders.emplace_back([&, sender] {
            for (int sequence = 0; sequence < kPerThread; ++sequence) {
                EXPECT_TRUE(loop.post(32869 + sender, std::make_unique<CountedRecord>(freed, sender, sequence)));
            }
        });
    }
    for (auto& sender : senders) sender.join();
    ASSERT_TRUE(loop.waitIdle(kDeadline));

    std::vector<int> next(kThreads, 0);
    for (const Delivery& delivery : window.deliveries()) {
        ASSERT_GE(delivery.sender, 0);
        EXPECT_EQ(delivery.message, 32869 + delivery.sender);
        EXPECT_EQ(delivery.sequence, next[delivery.sender]) << "sender " << delivery.sender;
        next[delivery.sender] = delivery.sequence + 1;
    }
    EXPECT_EQ(next, std::vector<int>(kThreads, kPerThread));
    EXPECT_EQ(freed, kThreads * kPerThread);
}

// Message 1 holds the loop thread in its handler until the gate opens.
class LogicLoopGatedTest : public ::testing::Test {
protected:
    LogicLoopGatedTest() {
        window.onEachMessage = [this](int message) {
            if (message == 1) gate.enterAndWait();
        };
    }
    ~LogicLoopGatedTest() override { gate.open(); }

    std::atomic<int> freed{0};
    RecordingWindow window;
    Gate gate;
    LogicLoop loop{window};
};

TEST_F(LogicLoopGatedTest, RefusedPostsFreeTheirRecordAndStopDropsTheQueue) {
    int made = 0;
    const auto record = [&] { return ++made, std::make_unique<CountedRecord>(freed, 0, made); };

    EXPECT_FALSE(loop.isAccepting());
    EXPECT_FALSE(loop.post(2, record())) << "not started";
    EXPECT_EQ(freed, 1);

    ASSERT_TRUE(loop.start());
    EXPECT_FALSE(loop.start());
    ASSERT_TRUE(loop.post(1, record()));
    gate.waitEntered();
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(loop.post(2, record()));
    EXPECT_EQ(freed, 1);

    std::thread stopper([&] { loop.stop(); });
    // stop refuses posts before it waits for the handler that the gate holds.
    const auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (loop.isAccepting()) ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    EXPECT_FALSE(loop.post(3, record()));
    gate.open();
    stopper.join();

    const std::vector<Delivery> deliveries = window.deliveries();
    ASSERT_EQ(deliveries.size(), 1u) << "the queued messages are dropped, not handled";
    EXPECT_EQ(deliveries[0].message, 1);
    EXPECT_FALSE(loop.post(2, record()));
    EXPECT_FALSE(loop.start()) << "a stopped loop stays stopped";
    EXPECT_EQ(freed, made) << "every record, handled, dropped or refused, is freed once";
}

TEST_F(LogicLoopGatedTest, AFullQueueRefusesPostsUntilTheLoopCatchesUp) {
    ASSERT_TRUE(loop.start());
    ASSERT_TRUE(loop.post(1, nullptr));
    gate.waitEntered();
    for (std::size_t i = 0; i < LogicLoop::kQueueLimit; ++i) {
        ASSERT_TRUE(loop.post(2, std::make_unique<CountedRecord>(freed, 0, 0))) << i;
    }
    EXPECT_FALSE(loop.post(2, std::make_unique<CountedRecord>(freed, 0, 0)));
    EXPECT_EQ(freed, 1);
    gate.open();
    ASSERT_TRUE(loop.waitIdle(kDeadline));
    EXPECT_TRUE(loop.post(2, std::make_unique<CountedRecord>(freed, 0, 0)));
    ASSERT_TRUE(loop.waitIdle(kDeadline));
    EXPECT_EQ(window.deliveries().size(), LogicLoop::kQueueLimit + 2);
    EXPECT_EQ(freed, static_cast<int>(LogicLoop::kQueueLimit) + 2);
}

class LogicLoopTimerTest : public ::testing::Test {
protected:
    // Moves the clock and waits until the loop has handled what fell due.
    void advance(std::chrono::milliseconds step) {
        ASSERT_TRUE(clock.advance(step));
        ASSERT_TRUE(loop.waitIdle(kDeadline));
    }
    void expectFirings(const std::vector<std::pair<int, std::chrono::milliseconds>>& expected) {
        const std::vector<Firing> firings = window.takeFirings();
        ASSERT_EQ(firings.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(firings[i].timerId, expected[i].first) << i;
            EXPECT_EQ(firings[i].at - origin, expected[i].second) << i;
        }
    }

    kel_util::ManualClock clock;
    const kel_util::ClockSource::TimePoint origin = clock.now();
    RecordingWindow window{clock};
    LogicLoop loop{window, clock};
};

TEST_F(LogicLoopTimerTest, TimersRepeatAtTheirInstantsUntilKilledOrReplaced) {
    ASSERT_TRUE(loop.start());
    EXPECT_FALSE(loop.setTimer(9, 0));
    EXPECT_FALSE(loop.setTimer(9, -5));
    EXPECT_FALSE(loop.killTimer(9));
    ASSERT_TRUE(loop.setTimer(1, 100));
    ASSERT_TRUE(loop.setTimer(2, 250));

    advance(99ms);
    expectFirings({});
    advance(1ms);
    expectFirings({{1, 100ms}});
    advance(100ms);
    expectFirings({{1, 200ms}});
    advance(50ms);
    expectFirings({{2, 250ms}});

    ASSERT_TRUE(loop.killTimer(1));
    EXPECT_FALSE(loop.killTimer(1));
    ASSERT_TRUE(loop.setTimer(2, 30));  // replaced: its period starts anew at 250
    advance(29ms);
    expectFirings({});
    advance(1ms);
    expectFirings({{2, 280ms}});
    advance(220ms);  // a period missed while behind is not caught up
    expectFirings({{2, 500ms}});
    advance(30ms);
    expectFirings({{2, 530ms}});

    loop.stop();
    EXPECT_FALSE(loop.setTimer(3, 10));
    ASSERT_TRUE(clock.advance(1000ms));
    expectFirings({});
}

TEST_F(LogicLoopTimerTest, AnExpiryQueuedBeforeItsTimerWasKilledIsNeverDelivered) {
    // Timers 3 and 4 fall due at one instant, 3 first; its handler kills 4 (and replaces 5),
    // whose expiries may already wait in the queue.
    window.onEachTimer = [&](int timerId) {
        if (timerId != 3) return;
        loop.killTimer(4);
        loop.setTimer(5, 40);
    };
    ASSERT_TRUE(loop.start());
    ASSERT_TRUE(loop.setTimer(3, 10));
    ASSERT_TRUE(loop.setTimer(4, 10));
    ASSERT_TRUE(loop.setTimer(5, 10));
    advance(10ms);
    expectFirings({{3, 10ms}});
    ASSERT_TRUE(loop.killTimer(3));
    advance(39ms);
    expectFirings({});
    advance(1ms);
    expectFirings({{5, 50ms}});
}

}  // namespace
