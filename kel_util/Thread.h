// An operating-system thread (pthreads) with a name kept in the process-wide thread-name
// registry, so that log lines can say which thread wrote them.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <string>

namespace kel_util {

class Thread {
public:
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // The thread body; by default runs the target's body (see the constructor).
    virtual void run();
    // Stores the name and, while the thread runs, updates its registry entry and OS name
    // (the OS keeps the first 15 bytes). Callable from any thread.
    virtual void setName(const std::string& name);
    std::string getName() const;

    // Starts the thread (stackSize -1: platform default). false when it was started already and
    // not joined since. Throws SystemException "Thread::start, pthread_create" on failure.
    virtual bool start(long stackSize = -1);
    // Waits without limit for the thread to end; returns at once when it was never started.
    // Throws SystemException "Thread::join, pthread_join".
    void join();
    // Clears the running flag; subclasses also wake their thread so that it notices.
    virtual void stop();

    bool isRunning() const noexcept { return running_.load(std::memory_order_acquire); }
    // The kernel thread id while the thread runs, -1 otherwise.
    pid_t getThreadId() const noexcept { return threadId_.load(std::memory_order_acquire); }

protected:
    // target: a thread whose run() this thread executes instead of its own (may be null).
    explicit Thread(Thread* target = nullptr);

private:
    static void* entry(void* self);
    void body();

    Thread* target_;
    std::atomic<bool> running_{false};
    std::atomic<pid_t> threadId_{-1};
    pthread_t handle_{};
    bool started_ = false;
    std::string name_;   // guarded by the registry's mutex
    pthread_t self_{};   // the running thread's own handle; guarded by the registry's mutex
};

// The calling thread's registered name. A thread that was not started by Thread is entered
// under its kernel thread id written in decimal, and that text is returned.
std::string currentThreadName();

}  // namespace kel_util
