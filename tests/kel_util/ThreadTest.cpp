#include "kel_util/Thread.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "Waiting.h"
#include "kel_util/ThreadPool.h"

namespace {

class FunctionThread : public kel_util::Thread {
public:
    explicit FunctionThread(std::function<void()> body) : body_(std::move(body)) {}
    ~FunctionThread() override { join(); }
    void run() override { body_(); }

private:
    std::function<void()> body_;
};

}  // namespace

TEST(Thread, ThreadNotStartedByThreadIsNamedByItsKernelId) {
    std::string name;
    pid_t id = 0;
    std::thread([&] {
        id = gettid();
        name = kel_util::currentThreadName();
    }).join();
    EXPECT_EQ(name, std::to_string(id));
}

TEST(Thread, UnnamedThreadGetsAThrNameAndRenamingReachesTheRegistry) {
    kel_test::Monitor monitor;
    bool renamed = false;
    std::string before;
    std::string after;
    FunctionThread thread([&] {
        monitor.update([&] { before = kel_util::currentThreadName(); });
        monitor.waitFor([&] { return renamed; });
        after = kel_util::currentThreadName();
    });
    ASSERT_TRUE(thread.start());
    EXPECT_FALSE(thread.start()) << "started twice";
    ASSERT_TRUE(monitor.waitFor([&] { return !before.empty(); }));
    thread.setName("Renamed");
    monitor.update([&] { renamed = true; });
    thread.join();
    EXPECT_EQ(before.rfind("Thr", 0), 0U) << before;
    EXPECT_EQ(after, "Renamed");
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(thread.getThreadId(), -1);
}

TEST(Thread, JoinWithoutStartReturnsAndAJoinedThreadMayStartAgain) {
    int runs = 0;
    FunctionThread thread([&] { ++runs; });
    thread.join();
    ASSERT_TRUE(thread.start());
    thread.join();
    ASSERT_TRUE(thread.start());
    thread.join();
    EXPECT_EQ(runs, 2);
}

TEST(Thread, AnExceptionLeavingRunEndsOnlyThatThread) {
    FunctionThread thread([] { throw std::runtime_error("boom"); });
    ASSERT_TRUE(thread.start());
    thread.join();
    EXPECT_FALSE(thread.isRunning());
}

namespace {

class CountingPool : public kel_util::ThreadPool {
public:
    ~CountingPool() override { destroyWorkers(); }
    bool startProc(int) override { return true; }
    bool workerProc(int) override {
        ++rounds;
        return false;  // leaves the loop, which stops the whole pool
    }
    void endProc(int) override { ++ended; }
    std::atomic<int> rounds{0};
    std::atomic<int> ended{0};
};

}  // namespace

std::atomic<bool> spinnerStarted{false};
std::atomic<bool> spinnerEnded{false};

// A thread whose owner forgot to stop and join it.
class Spinner : public kel_util::Thread {
public:
    void run() override {
        spinnerStarted = true;
        while (isRunning()) std::this_thread::yield();
        spinnerEnded = true;
    }
};

TEST(Thread, DestroyingARunningThreadStopsAndJoinsItInsteadOfLeavingItOnFreedMemory) {
    auto spinner = std::make_unique<Spinner>();
    ASSERT_TRUE(spinner->start());
    // Inside run: its virtual call is over before the destructor rewrites the object's type.
    ASSERT_TRUE(kel_test::eventually([] { return spinnerStarted.load(); }));
    spinner.reset();
    EXPECT_TRUE(spinnerEnded);
}

TEST(ThreadPool, RefusesBadCountsAndAWorkerLeavingItsLoopStopsThePool) {
    CountingPool pool;
    EXPECT_FALSE(pool.init(0));
    ASSERT_TRUE(pool.init(2));
    EXPECT_FALSE(pool.init(2));
    ASSERT_TRUE(pool.start());
    EXPECT_EQ(pool.getName().rfind("TP", 0), 0U);
    pool.join();
    EXPECT_FALSE(pool.isRunning());
    EXPECT_GE(pool.rounds.load(), 1);
    EXPECT_EQ(pool.ended.load(), 2) << "every started worker ends through endProc";
}
