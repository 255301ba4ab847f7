// Event handlers with one timer thread each. Expiries are posted to the head of the handler's
// queue as EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER and reach onTimeout on a worker, with locked
// dispatch: onTimeout overrides call releaseEventLock exactly once on every path.
//
// setTimer and cancelTimer may be called from any thread, including a worker holding its own
// eventLock or list locks. Subclasses handle their own event types in onEvent and pass type
// EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER on to this class. Subclasses call clean() in their
// destructor. init, clean, setName and cancelTimer: see TimerHandler.
#pragma once

#include "kel_util/EventHandler.h"
#include "kel_util/EventTimer.h"
#include "kel_util/TimerHandler.h"

namespace kel_util {

class EventHandlerExt : public TimerHandler<EventHandler, EventTimer> {
public:
    // The timer keeps the clock for its life (see Clock.h).
    explicit EventHandlerExt(ClockSource& clock = clockSource());
    ~EventHandlerExt() override;

    // Expires after milliseconds with id and param; false when the pool is not running.
    bool setTimer(int milliseconds, int id, int param);

protected:
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    // The default logs the unexpected timeout, releases the eventLock and returns false.
    virtual bool onTimeout(int id, int param);
};

}  // namespace kel_util
