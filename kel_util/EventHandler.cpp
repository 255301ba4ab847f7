#include "kel_util/EventHandler.h"

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
    ScopedLock guard(queueMutex_);
    accepting_ = true;
    return true;
}

bool EventHandler::postEvent(int type, intptr_t param1, intptr_t param2, const void* from, bool front) {
    return queueMessage(std::make_unique<EventMessage>(type, param1, param2, from), front);
}

bool EventHandler::queueMessage(std::unique_ptr<EventMessage> message, bool front) {
    {
        // accepting_ is read under the queue mutex, so that no message slips in behind the
        // workers' final drain.
        ScopedLock guard(queueMutex_);
        if (!accepting_) return false;
        if (front) {
            // Behind the earlier front messages: two timers due together are handled in the
            // order they expired.
            queue_.insert(queue_.begin() + static_cast<std::ptrdiff_t>(frontCount_), std::move(message));
            ++frontCount_;
        } else {
            queue_.push_back(std::move(message));
        }
    }
    eventLock_.notify();
    return true;
}

std::unique_ptr<EventMessage> EventHandler::takeFront() {
    ScopedLock guard(queueMutex_);
    if (queue_.empty()) return nullptr;
    std::unique_ptr<EventMessage> message = std::move(queue_.front());
    queue_.pop_front();
    if (frontCount_ > 0) --frontCount_;
    return message;
}

int EventHandler::removeEvent(int type, intptr_t param1, intptr_t param2, const void* from) {
    ScopedLock guard(queueMutex_);
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
    ScopedLock guard(const_cast<Mutex&>(queueMutex_));
    return accepting_;
}

bool EventHandler::workerProc(int workerId) {
    try {
        eventLock_.lock();
        // The running flag is read and cleared under the eventLock, so a worker that saw it set
        // is registered as a waiter before stop can wake it.
        while (isRunning()) {
            std::unique_ptr<EventMessage> message = takeFront();
            if (!message) {
                eventLock_.wait();
                continue;
            }
            if (!lockedDispatch_) eventLock_.unlock();
            dispatchEvent(workerId, *message);
            reclaimEventLock("EventHandler::workerProc");
            message.reset();
            eventLock_.lock();
        }
        drain(workerId);
        eventLock_.unlock();
    } catch (const std::exception& error) {
        reclaimEventLock("EventHandler::workerProc");
        logPrint(CRI, "EventHandler::workerProc. %p, SystemException: [%s].\n", static_cast<void*>(this),
                 describe(error).c_str());
    }
    return false;
}

void EventHandler::drain(int workerId) {
    while (std::unique_ptr<EventMessage> message = takeFront()) {
        if (!lockedDispatch_) eventLock_.unlock();
        dispatchEventClean(workerId, *message);
        reclaimEventLock("EventHandler::drain");
        eventLock_.lock();
    }
}

void EventHandler::reclaimEventLock(const char* where) {
    if (!eventLock_.mutex().heldByCurrentThread()) return;
    logPrint(MIN, "%s. Event lock still held after dispatch; released.\n", where);
    while (eventLock_.mutex().heldByCurrentThread()) eventLock_.unlock();
}

void EventHandler::releaseEventLock() {
    if (!lockedDispatch_) return;
    if (!eventLock_.mutex().heldByCurrentThread()) {
        logPrint(MIN, "EventHandler::releaseEventLock. Event lock not held by this thread.\n");
        return;
    }
    eventLock_.unlock();
}

void EventHandler::stop() {
    {
        ScopedLock guard(queueMutex_);
        accepting_ = false;
    }
    ScopedLock guard(eventLock_);
    ThreadPool::stop();
    eventLock_.notifyAll();
}

void EventHandler::clean() {
    stop();
    destroyWorkers();
    // Workers that ended on an exception may have left messages; their payloads are freed
    // by onEventClean here.
    try {
        eventLock_.lock();
        drain(-1);
        eventLock_.unlock();
    } catch (const std::exception& error) {
        reclaimEventLock("EventHandler::clean");
        logPrint(CRI, "EventHandler::clean. %p, SystemException: [%s].\n", static_cast<void*>(this),
                 describe(error).c_str());
    }
}

void EventHandler::dispatchEvent(int workerId, EventMessage& message) {
    onEvent(workerId, message.type, message.param1, message.param2, message.from);
}

void EventHandler::dispatchEventClean(int workerId, EventMessage& message) {
    onEventClean(workerId, message.type, message.param1, message.param2, message.from);
}

}  // namespace kel_util
