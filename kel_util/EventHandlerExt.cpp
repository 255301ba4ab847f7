#include "kel_util/EventHandlerExt.h"

#include "kel_util/Log.h"

namespace kel_util {

EventHandlerExt::EventHandlerExt(ClockSource& clock)
    : TimerHandler(clock, {"EventHandlerExt", "EventHandler", "EventTimer"}) {}

EventHandlerExt::~EventHandlerExt() { clean(); }

bool EventHandlerExt::setTimer(int milliseconds, int id, int param) {
    if (!isRunning()) return false;
    return timer().setTimer(milliseconds, id, param);
}

void EventHandlerExt::onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    if (type != EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER) {
        logPrint(MIN, "EventHandlerExt::onEvent. Undefined Event, WorkerID=%d, type=%d, param1=%d, param2=%d, from=%p.\n",
                 workerId, type, static_cast<int>(param1), static_cast<int>(param2), from);
        releaseEventLock();
        return;
    }
    logPrint(DEV,
             "EventHandlerExt::onEvent. Event EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER, WorkerID=%d, type=%d, param1=%d, "
             "param2=%d, from=%p.\n",
             workerId, type, static_cast<int>(param1), static_cast<int>(param2), from);
    if (!onTimeout(static_cast<int>(param1), static_cast<int>(param2))) {
        logPrint(MIN, "EventHandlerExt::onEvent. Failed onTimeout.\n");
    }
}

void EventHandlerExt::onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    const bool timer = type == EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER;
    logPrint(timer ? DBG : MIN, "EventHandlerExt::onEventClean. %s, WorkerID=%d, type=%d, param1=%d, param2=%d, from=%p.\n",
             timer ? "Event EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER" : "Undefined Event", workerId, type,
             static_cast<int>(param1), static_cast<int>(param2), from);
    releaseEventLock();
}

bool EventHandlerExt::onTimeout(int id, int param) {
    logPrint(MIN, "EventHandlerExt::onTimeout. Invalid timeout id=%d, param=%d.\n", id, param);
    releaseEventLock();
    return false;
}

}  // namespace kel_util
