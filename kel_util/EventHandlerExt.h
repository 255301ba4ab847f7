// Event handlers with one timer thread each. Expiries are posted to the head of the handler's
// queue as EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER and reach onTimeout on a worker, with locked
// dispatch: onTimeout overrides call releaseEventLock exactly once on every path.
//
// setTimer and cancelTimer may be called from any thread, including a worker holding its own
// eventLock or list locks. Subclasses handle their own event types in onEvent and pass type
// EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER on to this class. Subclasses call clean() in their
// destructor.
#pragma once

#include <string>

#include "kel_util/EventHandler.h"
#include "kel_util/EventTimer.h"

namespace kel_util {

inline constexpr int EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER = 1;

class EventHandlerExt : public EventHandler {
public:
    // The timer keeps the clock for its life (see Clock.h).
    explicit EventHandlerExt(ClockSource& clock = clockSource());
    ~EventHandlerExt() override;

    bool startProc(int workerId) override;
    void endProc(int workerId) override;
    // Names the pool and the timer thread ("<name>.Timer").
    void setName(const std::string& name) override;

    // Starts the timer thread, then the workers with locked dispatch.
    bool init(int workerCount);
    // The handler's clean (queued events reach onEventClean), then the timer's stop (pending
    // tasks reach timerCleanProc, never onTimeout).
    void clean() override;

    // Expires after milliseconds with id and param; false when the pool is not running.
    bool setTimer(int milliseconds, int id, int param);
    // Cancels the first pending task with this id and param; when none is pending, takes back
    // the expiry this timer has already queued, so that onTimeout is not called for it.
    // Returns the number of tasks or events removed (0 or 1).
    int cancelTimer(int id, int param);

protected:
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override;
    // The default logs the unexpected timeout, releases the eventLock and returns false.
    virtual bool onTimeout(int id, int param);

private:
    EventTimer timer_;
};

}  // namespace kel_util
