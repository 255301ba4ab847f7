// Gives up a handler's eventLock exactly once on every path out of a locked dispatch
// (EventHandler.h): a procedure calls release as soon as it holds the list lock it needs (or
// at once when it needs none); whatever path leaves without calling it, the destructor
// releases; a second release does nothing.
//
// Threads: created by the worker that took the event, used by it alone.
#pragma once

#include "kel_util/EventHandler.h"

namespace kel_sip {

class EventLockGuard {
public:
    // Must be created on the worker that holds handler's eventLock for the current event.
    explicit EventLockGuard(kel_util::EventHandler& handler) : handler_(handler) {}
    ~EventLockGuard() { release(); }
    EventLockGuard(const EventLockGuard&) = delete;
    EventLockGuard& operator=(const EventLockGuard&) = delete;

    void release() {
        if (released_) return;
        released_ = true;
        handler_.releaseEventLock();
    }
    bool isReleased() const noexcept { return released_; }

private:
    kel_util::EventHandler& handler_;
    bool released_ = false;
};

}  // namespace kel_sip
