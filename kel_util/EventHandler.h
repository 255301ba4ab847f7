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
// logged and the lock released, so that the pool does not hang.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>

#include "kel_util/Cond.h"
#include "kel_util/EventMessage.h"
#include "kel_util/Mutex.h"
#include "kel_util/ThreadPool.h"

namespace kel_util {

class EventHandler : public ThreadPool {
public:
    EventHandler() = default;
    // Cleans a handler its owner did not clean. Subclasses must call clean() in their own
    // destructor: by the time this one runs their onEventClean no longer exists.
    ~EventHandler() override;

    bool startProc(int workerId) override;
    bool workerProc(int workerId) override;
    void endProc(int workerId) override;

    // Queues a message (front: ahead of every message posted without front, behind earlier
    // front messages, as timer expiries are, so that they keep their order). false when the
    // handler is not accepting; the message is then freed and the caller keeps any payload.
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

protected:
    virtual void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) = 0;
    virtual void dispatchEvent(int workerId, EventMessage& message);
    virtual void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) = 0;
    virtual void dispatchEventClean(int workerId, EventMessage& message);

    // Queues an already built message (EventHandler2 posts EventMessage2 through it).
    bool queueMessage(std::unique_ptr<EventMessage> message, bool front);

private:
    std::unique_ptr<EventMessage> takeFront();
    // Dispatches every queued message to onEventClean; called holding the eventLock.
    void drain(int workerId);
    // Releases an eventLock that a dispatch (or a failed one) left held by this thread.
    void reclaimEventLock(const char* where);

    Mutex queueMutex_;
    std::deque<std::unique_ptr<EventMessage>> queue_;  // guarded by queueMutex_
    std::size_t frontCount_ = 0;                       // front-posted messages at the head
    bool accepting_ = false;                           // guarded by queueMutex_
    Cond eventLock_;
    bool lockedDispatch_ = false;
};

}  // namespace kel_util
