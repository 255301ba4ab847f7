#include "kel_util/Cond.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "Waiting.h"
#include "kel_util/Exception.h"

using kel_util::Cond;
using kel_util::Mutex;
using kel_util::SystemException;

TEST(Mutex, IsRecursiveForItsOwner) {
    Mutex mutex;
    mutex.lock();
    mutex.lock();
    EXPECT_EQ(mutex.depthForCurrentThread(), 2);
    mutex.unlock();
    EXPECT_TRUE(mutex.heldByCurrentThread());
    mutex.unlock();
    EXPECT_FALSE(mutex.heldByCurrentThread());
}

TEST(Mutex, UnlockByAThreadThatDoesNotOwnItThrows) {
    Mutex mutex;
    EXPECT_THROW(mutex.unlock(), SystemException);
}

TEST(Cond, SignalGivenWhileNobodyWaitsIsConsumedByTheNextWait) {
    Cond cond;
    cond.lock();
    // The waiter has checked its state; the signal arrives before it waits.
    std::thread([&cond] { cond.notify(); }).join();
    const auto before = std::chrono::steady_clock::now();
    EXPECT_TRUE(cond.wait(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    cond.unlock();
}

TEST(Cond, AtMostOneSignalStaysPending) {
    Cond cond;
    cond.notify();
    cond.notify();
    cond.notifyAll();
    cond.lock();
    EXPECT_TRUE(cond.wait(10000));
    EXPECT_FALSE(cond.wait(20));
    cond.unlock();
}

TEST(Cond, TimedWaitsReturnFalseWithoutSignal) {
    Cond cond;
    cond.lock();
    EXPECT_FALSE(cond.wait(0));
    EXPECT_FALSE(cond.wait(-5));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(30);
    EXPECT_FALSE(cond.waitUntil(deadline));
    EXPECT_GE(std::chrono::steady_clock::now(), deadline);
    EXPECT_TRUE(cond.mutex().heldByCurrentThread());
    cond.unlock();
}

TEST(Cond, WaitHoldingTheMutexTwiceIsRefused) {
    Cond cond;
    cond.lock();
    cond.lock();
    try {
        cond.wait(10);
        ADD_FAILURE() << "wait did not throw";
    } catch (const SystemException& error) {
        EXPECT_EQ(error.getCode(), EDEADLK);
    }
    EXPECT_EQ(cond.mutex().depthForCurrentThread(), 2);
    cond.unlock();
    cond.unlock();
}

TEST(Cond, NotifyAllWakesEveryWaiter) {
    Cond cond;
    kel_test::Monitor monitor;
    int woken = 0;
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] {
            cond.lock();
            const bool signalled = cond.wait(20000);
            cond.unlock();
            monitor.update([&] { woken += signalled ? 1 : 0; });
        });
    }
    ASSERT_TRUE(kel_test::eventually([&] { return cond.getWaiterCount() == 3; }));
    cond.notifyAll();
    EXPECT_TRUE(monitor.waitFor([&] { return woken == 3; }));
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(woken, 3);
}
