// Timers that post each expiry to the head of an event handler's queue, as event type
// eventType with param1 = task id, param2 = task param (EventTimer2: param3 = task param2) and
// the timer as sender. Posting only takes the handler's queue mutex, never its eventLock, so a
// worker may set and cancel timers while holding its eventLock or list locks.
#pragma once

#include "kel_util/EventHandler2.h"
#include "kel_util/SimpleTimer2.h"

namespace kel_util {

class EventTimer : public SimpleTimer {
public:
    // target may be null: expiries are then only logged.
    EventTimer(EventHandler* target, int eventType, ClockSource& clock = clockSource())
        : SimpleTimer(clock), target_(target), eventType_(eventType) {}
    ~EventTimer() override { discardAndStop(); }

protected:
    void timerProc(int id, int param) override;
    void timerCleanProc(int id, int param) override;

private:
    EventHandler* const target_;
    const int eventType_;
};

class EventTimer2 : public SimpleTimer2 {
public:
    EventTimer2(EventHandler2* target, int eventType, ClockSource& clock = clockSource())
        : SimpleTimer2(clock), target_(target), eventType_(eventType) {}
    ~EventTimer2() override { discardAndStop(); }

protected:
    using SimpleTimer2::timerCleanProc;
    using SimpleTimer2::timerProc;
    void timerProc(int id, int param1, int param2) override;
    void timerCleanProc(int id, int param1, int param2) override;

private:
    EventHandler2* const target_;
    const int eventType_;
};

}  // namespace kel_util
