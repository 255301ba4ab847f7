#include "kel_util/EventHandler.h"

#include <algorithm>

#include "kel_util/Exception.h"
#include "kel_util/Log.h"

namespace kel_util {

EventHandler::~EventHandler() {
    if (getWorkerCount() == 0 && !isAccepting()) return;
    logPrint(MAJ, "EventHandler::~EventHandler. %p destroyed without clean.\n", static_cast<void*>(this));
    try {
        stop();
        destroyWorkers();
    } catch (const Throwable& error) {
        logPrint(MAJ, "EventHandler::~EventHandler. %s\n", error.toString().c_str());
    }
    // Messages still queued are deleted without onEventClean, which no longer exists.
}

bool EventHandler::startProc(int) { return true; }

void EventHandler::endProc(int) {}

bool EventHandler::init(int workerCount, bool lockedDispatch) {
    if (!ThreadPool::init(workerCount)) return false;
    lockedDispatch_ = lockedDispatch;
    if (!ThreadPool::start()) {
        destroyWorkers();
        return false;
    }
    std::lock_guard guard(queueMutex_);
    accepting_ = true;
    return true;
}

bool EventHandler::postEvent(int type, intptr_t param1, intptr_t param2, const void* from, bool front) {
    return queueMessage(std::make_unique<EventMessage>(type, param1, param2, from), front);
}

bool EventHandler::queueMessage(std::unique_ptr<EventMessage> message, bool front) {
    // accepting_ is read under the queue mutex, so that no message slips in behind the
    // workers' final drain.
    QueueLock lock(queueMutex_);
    if (!accepting_) return false;
    if (front) {
        // Behind the earlier front messages: two timers due together are handled in the
        // order they expired.
        queue_.insert(queue_.begin() + static_cast<std::ptrdiff_t>(frontCount_), std::move(message));
        ++frontCount_;
    } else if (queue_.size() - frontCount_ >= queueLimit_) {
        reportDrop(lock);
        return false;
    } else {
        queue_.push_back(std::move(message));
    }
    wakeIfNeeded();
    return true;
}

void EventHandler::reportDrop(QueueLock& lock) {
    DropCounter::Report report;
    if (!drops_.count(1, report)) return;
    const std::size_t limit = queueLimit_;
    lock.unlock();
    logPrint(MIN, "EventHandler::postEvent. Queue of %s full at %zu events; dropped %llu since the last report, %llu in all.\n",
             getName().c_str(), limit, static_cast<unsigned long long>(report.sinceLast),
             static_cast<unsigned long long>(report.total));
}

bool EventHandler::canTake() const {
    return !queue_.empty() && (!lockedDispatch_ || eventLockHolder_ == std::thread::id());
}

std::unique_ptr<EventMessage> EventHandler::take() {
    std::unique_ptr<EventMessage> message = std::move(queue_.front());
    queue_.pop_front();
    if (frontCount_ > 0) --frontCount_;
    if (lockedDispatch_) eventLockHolder_ = std::this_thread::get_id();
    return message;
}

void EventHandler::wakeIfNeeded() {
    // Nobody awake will look soon, a sleeper has not been woken yet, and it could take a message.
    if (looking_ + wakesPending_ > 0 || sleeping_ == 0 || !canTake()) return;
    ++wakesPending_;
    wake_.notify_one();
}

int EventHandler::removeEvent(int type, intptr_t param1, intptr_t param2, const void* from) {
    std::lock_guard guard(queueMutex_);
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        const EventMessage& message = **it;
        if (message.type == type && message.param1 == param1 && message.param2 == param2 && message.from == from) {
            if (static_cast<std::size_t>(it - queue_.begin()) < frontCount_) --frontCount_;
            queue_.erase(it);
            return 1;
        }
    }
    return 0;
}

bool EventHandler::isAccepting() const {
    std::lock_guard guard(queueMutex_);
    return accepting_;
}

void EventHandler::setQueueLimit(std::size_t limit) {
    std::lock_guard guard(queueMutex_);
    queueLimit_ = std::max<std::size_t>(limit, 1);
}

std::size_t EventHandler::getQueueLimit() const {
    std::lock_guard guard(queueMutex_);
    return queueLimit_;
}

bool EventHandler::workerProc(int workerId) {
    try {
        while (std::unique_ptr<EventMessage> message = nextMessage()) dispatchEvent(workerId, *message);
        drain(workerId);
    } catch (const std::exception& error) {
        {
            std::lock_guard guard(queueMutex_);
            reclaimEventLock("EventHandler::workerProc");
        }
        logPrint(CRI, "EventHandler::workerProc. %p, SystemException: [%s].\n", static_cast<void*>(this),
                 describe(error).c_str());
    }
    return false;
}

std::unique_ptr<EventMessage> EventHandler::nextMessage() {
    QueueLock lock(queueMutex_);
    reclaimEventLock("EventHandler::workerProc");
    ++looking_;
    for (;;) {
        // The running flag is cleared under the queue mutex (stop), so a worker that saw it set
        // is asleep before stop wakes everyone.
        if (!isRunning()) {
            --looking_;
            return nullptr;
        }
        if (canTake()) {
            --looking_;
            std::unique_ptr<EventMessage> message = take();
            wakeIfNeeded();  // without locked dispatch the next message can run beside this one
            return message;
        }
        --looking_;
        ++sleeping_;
        wake_.wait(lock, [this] { return wakesPending_ > 0 || !isRunning(); });
        --sleeping_;
        if (wakesPending_ > 0) --wakesPending_;
        ++looking_;
    }
}

void EventHandler::drain(int workerId) {
    while (std::unique_ptr<EventMessage> message = nextMessageToClean()) dispatchEventClean(workerId, *message);
}

std::unique_ptr<EventMessage> EventHandler::nextMessageToClean() {
    QueueLock lock(queueMutex_);
    reclaimEventLock("EventHandler::drain");
    wake_.wait(lock, [this] { return queue_.empty() || canTake(); });
    return queue_.empty() ? nullptr : take();
}

void EventHandler::reclaimEventLock(const char* where) {
    if (!lockedDispatch_ || eventLockHolder_ != std::this_thread::get_id()) return;
    logPrint(MIN, "%s. Event lock still held after dispatch; released.\n", where);
    eventLockHolder_ = std::thread::id();
    if (isRunning()) {
        wakeIfNeeded();
    } else {
        wake_.notify_all();  // workers draining at stop wait for the eventLock
    }
}

void EventHandler::releaseEventLock() {
    if (!lockedDispatch_) return;
    QueueLock lock(queueMutex_);
    if (eventLockHolder_ != std::this_thread::get_id()) {
        lock.unlock();
        logPrint(MIN, "EventHandler::releaseEventLock. Event lock not held by this thread.\n");
        return;
    }
    eventLockHolder_ = std::thread::id();
    if (isRunning()) {
        wakeIfNeeded();
    } else {
        wake_.notify_all();
    }
}

void EventHandler::stop() {
    {
        std::lock_guard guard(queueMutex_);
        accepting_ = false;
        ThreadPool::stop();
    }
    wake_.notify_all();
}

void EventHandler::clean() {
    const bool wasStarted = getWorkerCount() > 0;  // a second clean reports nothing again
    stop();
    destroyWorkers();
    // Workers that ended on an exception may have left messages; their payloads are freed
    // by onEventClean here.
    try {
        drain(-1);
    } catch (const std::exception& error) {
        {
            std::lock_guard guard(queueMutex_);
            reclaimEventLock("EventHandler::clean");
        }
        logPrint(CRI, "EventHandler::clean. %p, SystemException: [%s].\n", static_cast<void*>(this),
                 describe(error).c_str());
    }
    if (const std::uint64_t dropped = drops_.total(); wasStarted && dropped > 0) {
        logPrint(MIN, "EventHandler::clean. %s dropped %llu events in all, its queue being full.\n", getName().c_str(),
                 static_cast<unsigned long long>(dropped));
    }
}

void EventHandler::dispatchEvent(int workerId, EventMessage& message) {
    onEvent(workerId, message.type, message.param1, message.param2, message.from);
}

void EventHandler::dispatchEventClean(int workerId, EventMessage& message) {
    onEventClean(workerId, message.type, message.param1, message.param2, message.from);
}

}  // namespace kel_util
