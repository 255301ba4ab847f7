#include "kel_util/EventHandlerExt2.h"

#include "kel_util/Log.h"

namespace kel_util {

EventHandlerExt2::EventHandlerExt2(ClockSource& clock)
    : TimerHandler(clock, {"EventHandlerExt2", "EventHandler2", "EventTimer2"}) {}

EventHandlerExt2::~EventHandlerExt2() { clean(); }

bool EventHandlerExt2::setTimer(int milliseconds, int id, int param1, int param2) {
    if (!isRunning()) return false;
    return timer().setTimer(milliseconds, id, param1, param2);
}

void EventHandlerExt2::onEvent(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                               const void* from) {
    if (type != EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER) {
        logPrint(MIN,
                 "EventHandlerExt2::onEvent. Undefined Event, WorkerID=%d, type=%d, param1=%d, param2=%d, param3=%d, "
                 "from=%p.\n",
                 workerId, type, static_cast<int>(param1), static_cast<int>(param2), static_cast<int>(param3), from);
        releaseEventLock();
        return;
    }
    logPrint(DBG,
             "EventHandlerExt2::onEvent. Event EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER, WorkerID=%d, type=%d, param1=%d, "
             "param2=%d, param3=%d, from=%p.\n",
             workerId, type, static_cast<int>(param1), static_cast<int>(param2), static_cast<int>(param3), from);
    if (!onTimeout(static_cast<int>(param1), static_cast<int>(param2), static_cast<int>(param3))) {
        logPrint(MIN, "EventHandlerExt2::onEvent. Failed onTimeout.\n");
    }
}

void EventHandlerExt2::onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                                    const void* from) {
    const bool timer = type == EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER;
    logPrint(timer ? DBG : MIN,
             "EventHandlerExt2::onEventClean. %s, WorkerID=%d, type=%d, param1=%d, param2=%d, param3=%d, from=%p.\n",
             timer ? "Event EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER" : "Undefined Event", workerId, type,
             static_cast<int>(param1), static_cast<int>(param2), static_cast<int>(param3), from);
    releaseEventLock();
}

bool EventHandlerExt2::onTimeout(int id, int param1, int param2) {
    logPrint(MIN, "EventHandlerExt2::onTimeout. Invalid timeout id=%d, param1=%d, param2=%d.\n", id, param1, param2);
    releaseEventLock();
    return false;
}

}  // namespace kel_util
