#include "kel_util/ThreadPool.h"

#include "kel_util/Exception.h"
#include "kel_util/Log.h"

namespace kel_util {
namespace {

std::atomic<int> unnamedPoolCount{0};

}  // namespace

void WorkerThread::run() {
    if (!pool_.startProc(workerId_)) return;
    while (pool_.isRunning()) {
        if (!pool_.workerProc(workerId_)) break;
        if (!pool_.isRunning()) {
            pool_.endProc(workerId_);
            return;
        }
    }
    pool_.stop();
    pool_.endProc(workerId_);
}

ThreadPool::~ThreadPool() {
    try {
        destroyWorkers();
    } catch (const Throwable& error) {
        logPrint(MAJ, "ThreadPool::~ThreadPool. %s\n", error.toString().c_str());
    }
}

void ThreadPool::setName(const std::string& name) { name_ = name; }

std::string ThreadPool::getName() const { return name_; }

bool ThreadPool::init(int workerCount) {
    if (workerCount <= 0 || !workers_.empty()) return false;
    for (int id = 0; id < workerCount; ++id) workers_.push_back(std::make_unique<WorkerThread>(id, *this));
    return true;
}

bool ThreadPool::start() {
    if (isRunning() || workers_.empty()) return false;
    running_.store(true, std::memory_order_release);
    if (name_.empty()) setName("TP" + std::to_string(unnamedPoolCount.fetch_add(1)));
    for (auto& worker : workers_) {
        worker->setName(name_ + "(" + std::to_string(worker->getWorkerId()) + ")");
        try {
            worker->start();
        } catch (const SystemException& error) {
            logPrint(MIN, "ThreadPool::start. %s\n", error.toString().c_str());
            stop();
            join();
            return false;
        }
    }
    return true;
}

void ThreadPool::stop() {
    running_.store(false, std::memory_order_release);
    for (auto& worker : workers_) worker->stop();
}

void ThreadPool::join() {
    for (auto& worker : workers_) worker->join();
}

void ThreadPool::destroyWorkers() {
    join();
    workers_.clear();
}

}  // namespace kel_util
