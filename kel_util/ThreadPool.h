// A named pool of worker threads. Each worker calls startProc once, then workerProc while the
// pool runs, then endProc. Subclasses (EventHandler) give the procedures their meaning.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "kel_util/Thread.h"

namespace kel_util {

class ThreadPool;

// One worker of a ThreadPool; its body is the worker loop.
class WorkerThread : public Thread {
public:
    WorkerThread(int workerId, ThreadPool& pool) : workerId_(workerId), pool_(pool) {}
    ~WorkerThread() override = default;

    void run() override;
    int getWorkerId() const noexcept { return workerId_; }

private:
    const int workerId_;
    ThreadPool& pool_;
};

class ThreadPool {
public:
    ThreadPool() = default;
    // Deletes the workers; the owner stops and joins them first.
    virtual ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // Called once by each worker before its loop; false ends the worker without endProc.
    virtual bool startProc(int workerId) = 0;
    // Called repeatedly while the pool runs; false leaves the loop and stops the pool.
    virtual bool workerProc(int workerId) = 0;
    virtual void endProc(int workerId) = 0;
    // Names the pool; workers started later are named "<name>(<index>)".
    virtual void setName(const std::string& name);
    std::string getName() const;

    // Creates workerCount workers with ids 0..workerCount-1; false when the count is not
    // positive or the workers exist already.
    bool init(int workerCount);
    // Starts every worker (an unnamed pool becomes "TP<n>"). When a worker cannot start, the
    // ones already started are stopped and joined and false is returned.
    bool start();
    // Clears the running flags. Subclasses also wake their workers, under the lock the
    // workers wait with, so that none misses it.
    virtual void stop();
    // Waits for every worker to end.
    void join();
    // Joins and deletes the workers, so that init may be called again.
    void destroyWorkers();

    bool isRunning() const noexcept { return running_.load(std::memory_order_acquire); }
    int getWorkerCount() const noexcept { return static_cast<int>(workers_.size()); }

private:
    std::atomic<bool> running_{false};
    std::vector<std::unique_ptr<WorkerThread>> workers_;
    std::string name_;  // set before start or from the owner's thread
};

}  // namespace kel_util
