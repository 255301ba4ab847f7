// A mutex with auto-reset-event signalling: each `notify` releases one waiter, and a signal given
// while nobody waits stays pending (at most one) so that the next wait returns at once. A queue
// relies on this: a message posted between a worker's emptiness check and its wait is not lost.
// `notify` and `notifyAll` never take the mutex, so they may be called under any other lock.
// All waits are on CLOCK_MONOTONIC; changing the wall clock does not move them.
#pragma once

#include <pthread.h>

#include <chrono>

#include "kel_util/Mutex.h"

namespace kel_util {

class Cond {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Throws SystemException "Cond::Cond".
    Cond();
    // Never throws; failures are logged.
    ~Cond();
    Cond(const Cond&) = delete;
    Cond& operator=(const Cond&) = delete;

    Mutex& mutex() noexcept { return mutex_; }
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

    // Wakes one waiter, or leaves one pending signal when nobody waits.
    void notify();
    // Wakes every thread waiting now; leaves one pending signal when nobody waits.
    void notifyAll();

    // The waits below must be called holding the mutex exactly once (a deeper hold throws
    // SystemException "Cond::_wait" with EDEADLK instead of silently keeping the lock); they
    // release it while waiting and hold it again on return.
    void wait();
    // false at once for 0 or less; true when signalled, false on timeout.
    bool wait(int milliseconds);
    // Waits until the monotonic deadline; true when signalled, false when the time has come.
    bool waitUntil(TimePoint deadline);

    // Threads inside a wait now.
    int getWaiterCount();

private:
    bool waitFor(const TimePoint* deadline);

    Mutex mutex_;
    pthread_mutex_t stateLock_;
    pthread_cond_t signal_;
    int signals_ = 0;  // notifies not yet taken by a waiter; at most waiters_ + 1
    unsigned long broadcasts_ = 0;  // counts notifyAll, so every waiter of one round wakes
    int waiters_ = 0;
};

}  // namespace kel_util
