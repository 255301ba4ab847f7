// EventHandlerExt for handlers whose events carry a third parameter: timer tasks carry two
// parameters, and onTimeout receives both. Same threading rules as EventHandlerExt.
#pragma once

#include "kel_util/EventHandler2.h"
#include "kel_util/EventTimer.h"
#include "kel_util/TimerHandler.h"

namespace kel_util {

class EventHandlerExt2 : public TimerHandler<EventHandler2, EventTimer2> {
public:
    explicit EventHandlerExt2(ClockSource& clock = clockSource());
    ~EventHandlerExt2() override;

    // Expires after milliseconds with id, param1 and param2; false when the pool is not running.
    // cancelTimer matches id and param1 only, as tasks are matched: param2 is their payload.
    bool setTimer(int milliseconds, int id, int param1, int param2);

protected:
    using EventHandler2::onEvent;
    using EventHandler2::onEventClean;
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                 const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                      const void* from) override;
    // The default logs the unexpected timeout, releases the eventLock and returns false.
    virtual bool onTimeout(int id, int param1, int param2);
};

}  // namespace kel_util
