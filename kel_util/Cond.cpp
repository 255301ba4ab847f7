#include "kel_util/Cond.h"

#include <cerrno>
#include <ctime>

#include "kel_util/Exception.h"
#include "kel_util/Log.h"

namespace kel_util {
namespace {

void check(int result, const char* text) {
    if (result != 0) throw SystemException(result, text);
}

timespec toTimespec(Cond::TimePoint deadline) {
    const auto sinceEpoch = deadline.time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch - seconds);
    return timespec{static_cast<time_t>(seconds.count()), static_cast<long>(nanoseconds.count())};
}

}  // namespace

Cond::Cond() {
    check(pthread_mutex_init(&stateLock_, nullptr), "Cond::Cond");
    pthread_condattr_t attributes;
    int result = pthread_condattr_init(&attributes);
    // steady_clock is CLOCK_MONOTONIC on Linux, so TimePoint converts one to one.
    if (result == 0) result = pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    if (result == 0) result = pthread_cond_init(&signal_, &attributes);
    pthread_condattr_destroy(&attributes);
    if (result != 0) {
        pthread_mutex_destroy(&stateLock_);
        throw SystemException(result, "Cond::Cond");
    }
}

Cond::~Cond() {
    const int condResult = pthread_cond_destroy(&signal_);
    const int lockResult = pthread_mutex_destroy(&stateLock_);
    if (const int result = condResult != 0 ? condResult : lockResult; result != 0) {
        logPrint(MAJ, "Cond::~Cond. %s\n", SystemException(result, "Cond::~Cond").toString().c_str());
    }
}

void Cond::notify() {
    check(pthread_mutex_lock(&stateLock_), "Cond::notify");
    // Each notify releases one more waiter; beyond the waiters at most one signal is kept.
    if (signals_ <= waiters_) ++signals_;
    const int result = pthread_cond_signal(&signal_);
    pthread_mutex_unlock(&stateLock_);
    check(result, "Cond::notify");
}

void Cond::notifyAll() {
    check(pthread_mutex_lock(&stateLock_), "Cond::notifyAll");
    int result = 0;
    if (waiters_ > 0) {
        ++broadcasts_;
        result = pthread_cond_broadcast(&signal_);
    } else if (signals_ == 0) {
        signals_ = 1;
    }
    pthread_mutex_unlock(&stateLock_);
    check(result, "Cond::notifyAll");
}

int Cond::getWaiterCount() {
    check(pthread_mutex_lock(&stateLock_), "Cond::getWaiterCount");
    const int count = waiters_;
    pthread_mutex_unlock(&stateLock_);
    return count;
}

void Cond::wait() { waitFor(nullptr); }

bool Cond::wait(int milliseconds) {
    if (milliseconds <= 0) return false;
    return waitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

bool Cond::waitUntil(TimePoint deadline) { return waitFor(&deadline); }

bool Cond::waitFor(const TimePoint* deadline) {
    if (mutex_.depthForCurrentThread() != 1) throw SystemException(EDEADLK, "Cond::_wait");
    check(pthread_mutex_lock(&stateLock_), "Cond::_wait");
    // Registered as a waiter before the mutex is given up: a notify from here on is either
    // pending or wakes this thread.
    ++waiters_;
    const unsigned long round = broadcasts_;
    mutex_.unlock();
    const timespec until = deadline != nullptr ? toTimespec(*deadline) : timespec{};
    int result = 0;
    while (signals_ == 0 && round == broadcasts_ && result == 0) {
        result = deadline != nullptr ? pthread_cond_timedwait(&signal_, &stateLock_, &until)
                                     : pthread_cond_wait(&signal_, &stateLock_);
    }
    // A broadcast wakes every waiter of its round without using up a notify.
    bool signalled = round != broadcasts_;
    if (!signalled && signals_ > 0) {
        --signals_;
        signalled = true;
    }
    --waiters_;
    pthread_mutex_unlock(&stateLock_);
    mutex_.lock();
    if (result != 0 && result != ETIMEDOUT) throw SystemException(result, "Cond::_wait");
    return signalled;
}

}  // namespace kel_util
