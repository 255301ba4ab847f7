// A recursive operating-system mutex: the owning thread may lock it again and must unlock it
// as often. Any thread may call any operation; unlock only from the owner.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <atomic>

namespace kel_util {

class Mutex {
public:
    // Throws SystemException "Mutex::Mutex" when the mutex cannot be created.
    Mutex();
    // Never throws; a failure to destroy is logged.
    virtual ~Mutex();
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    // Throw SystemException "Mutex::lock" / "Mutex::unlock" on failure (unlock by a thread
    // that does not own the mutex is such a failure).
    void lock();
    void unlock();

    bool heldByCurrentThread() const noexcept;
    // How often the calling thread holds the mutex (0 when it does not own it).
    int depthForCurrentThread() const noexcept;

private:
    pthread_mutex_t mutex_;
    std::atomic<pid_t> owner_{0};
    int depth_ = 0;  // written by the owner only
};

// Holds a Mutex (or anything with lock/unlock) for one scope.
template <class Lockable>
class ScopedLock {
public:
    explicit ScopedLock(Lockable& lockable) : lockable_(lockable) { lockable_.lock(); }
    ~ScopedLock() { lockable_.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Lockable& lockable_;
};

// The kernel's id of the calling thread (gettid), cached per thread.
pid_t currentThreadId() noexcept;

}  // namespace kel_util
