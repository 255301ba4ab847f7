// An event handler: a named pool of worker threads fed by one queue of EventMessages.
//
// Threads: postEvent, removeEvent and releaseEventLock may be called from any thread; init,
// stop and clean from the owner. onEvent and onEventClean run on the workers (onEventClean
// also on the thread calling clean, with workerId -1, for messages the workers left behind).
//
// Locked dispatch: with lockedDispatch set, onEvent and onEventClean are entered holding the
// eventLock and every path through them calls releaseEventLock exactly once, as soon as it
// holds the lock of the list it will work on (order: eventLock, list lock, entry lock) or at
// once when it touches no list. Events of one handler so begin in queue order while the work
// on different entries runs in parallel. A dispatch that returns still holding the eventLock is
// logged and the lock released, so that the pool does not hang. The eventLock is taken with the
// message, in one step under the queue mutex, so a worker never wakes only to wait for it.
//
// Waking: a post wakes a sleeping worker only when no awake worker is about to look at the
// queue (and, in locked dispatch, nobody holds the eventLock: its release wakes one instead).
// Under load the workers so take message after message without being woken.
//
// Bound: at most getQueueLimit() messages posted without front wait in the queue; a post
// beyond that is refused, counted and reported in the log at most once a second. Front
// messages (timer expiries) are always taken: losing one would leave its owner waiting for
// ever, and there are never more of them than running timers.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "kel_util/DropCounter.h"
#include "kel_util/EventMessage.h"
#include "kel_util/ThreadPool.h"

namespace kel_util {

class EventHandler : public ThreadPool {
public:
    static constexpr std::size_t kDefaultQueueLimit = 4096;

    EventHandler() = default;
    // Cleans a handler its owner did not clean. Subclasses must call clean() in their own
    // destructor: by the time this one runs their onEventClean no longer exists.
    ~EventHandler() override;

    bool startProc(int workerId) override;
    bool workerProc(int workerId) override;
    void endProc(int workerId) override;

    // Queues a message (front: ahead of every message posted without front, behind earlier
    // front messages, as timer expiries are, so that they keep their order). false when the
    // handler is not accepting or its queue is full; the message is then freed and the caller
    // keeps any payload.
    virtual bool postEvent(int type, intptr_t param1, intptr_t param2, const void* from, bool front = false);

    // Creates and starts the workers and starts accepting events. On failure the workers are
    // destroyed and false is returned.
    bool init(int workerCount, bool lockedDispatch);
    // Stops accepting, stops the pool and wakes every worker; the workers hand every message
    // still queued to onEventClean and end.
    void stop() override;
    // stop, join, delete the workers, then hand any message still queued to onEventClean.
    virtual void clean();

    // Gives up the eventLock taken for a locked dispatch; does nothing without locked dispatch.
    void releaseEventLock();

    // Removes the first queued message whose type, param1, param2 and sender all match;
    // returns the number removed (0 or 1). Lets a cancelled timer take back its queued expiry.
    int removeEvent(int type, intptr_t param1, intptr_t param2, const void* from);

    bool isAccepting() const;
    bool hasLockedDispatch() const noexcept { return lockedDispatch_; }

    // The most messages posted without front that may wait; 0 or less is taken as 1.
    void setQueueLimit(std::size_t limit);
    std::size_t getQueueLimit() const;
    // Posts refused because the queue was full, since the handler was made.
    std::uint64_t getDroppedCount() const noexcept { return drops_.total(); }

protected:
    virtual void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) = 0;
    virtual void dispatchEvent(int workerId, EventMessage& message);
    virtual void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) = 0;
    virtual void dispatchEventClean(int workerId, EventMessage& message);

    // Queues an already built message (EventHandler2 posts EventMessage2 through it).
    bool queueMessage(std::unique_ptr<EventMessage> message, bool front);

private:
    using QueueLock = std::unique_lock<std::mutex>;

    // The next message for a worker, with the eventLock in locked dispatch; sleeps while there
    // is none it may take. Null once the pool stops.
    std::unique_ptr<EventMessage> nextMessage();
    // The next message still queued for onEventClean, with the eventLock in locked dispatch;
    // null when the queue is empty.
    std::unique_ptr<EventMessage> nextMessageToClean();
    // Hands every queued message to onEventClean.
    void drain(int workerId);
    // With the queue mutex held: whether a worker may take the front message now.
    bool canTake() const;
    // With the queue mutex held: pops the front message, taking the eventLock with it.
    std::unique_ptr<EventMessage> take();
    // With the queue mutex held: wakes one sleeping worker when a message can be taken and no
    // awake worker is about to look at the queue.
    void wakeIfNeeded();
    // With the queue mutex held: gives up an eventLock this thread still holds after a
    // dispatch, logging where.
    void reclaimEventLock(const char* where);
    void reportDrop(QueueLock& lock);

    mutable std::mutex queueMutex_;
    std::condition_variable wake_;
    // Everything below is guarded by queueMutex_.
    std::deque<std::unique_ptr<EventMessage>> queue_;
    std::size_t frontCount_ = 0;  // front-posted messages at the head
    std::size_t queueLimit_ = kDefaultQueueLimit;
    bool accepting_ = false;
    std::thread::id eventLockHolder_;  // the worker inside the ordered part of a locked dispatch
    int looking_ = 0;                  // awake workers that will look at the queue before sleeping
    int sleeping_ = 0;                 // workers waiting on wake_
    int wakesPending_ = 0;             // wake-ups given and not yet taken by a sleeper
    DropCounter drops_;
    bool lockedDispatch_ = false;
};

}  // namespace kel_util
