#include "kel_util/EventHandlerExt2.h"

#include "kel_util/Exception.h"
#include "kel_util/Log.h"

namespace kel_util {

EventHandlerExt2::EventHandlerExt2(ClockSource& clock)
    : timer_(this, EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER, clock) {}

EventHandlerExt2::~EventHandlerExt2() { clean(); }

bool EventHandlerExt2::startProc(int workerId) {
    logPrint(DBG, "EventHandlerExt2::startProc. Starting EventHandlerExt2, WorkerID=%d.\n", workerId);
    return true;
}

void EventHandlerExt2::endProc(int workerId) {
    logPrint(DBG, "EventHandlerExt2::endProc. Stopping EventHandlerExt2, WorkerID=%d.\n", workerId);
}

void EventHandlerExt2::setName(const std::string& name) {
    EventHandler2::setName(name);
    timer_.setName(name + ".Timer");
}

bool EventHandlerExt2::init(int workerCount) {
    try {
        timer_.start();
    } catch (const SystemException&) {
        logPrint(MIN, "EventHandlerExt2::init. Failed to start EventTimer2.\n");
        return false;
    }
    if (!EventHandler2::init(workerCount, true)) {
        logPrint(MIN, "EventHandlerExt2::init. Failed to init EventHandler2.\n");
        timer_.stop();
        return false;
    }
    timer_.setName(getName() + ".Timer");
    return true;
}

void EventHandlerExt2::clean() {
    EventHandler2::clean();
    timer_.stop();
}

bool EventHandlerExt2::setTimer(int milliseconds, int id, int param1, int param2) {
    if (!isRunning()) return false;
    return timer_.setTimer(milliseconds, id, param1, param2);
}

// A queued expiry is matched on id and param1 only, as the task is: param2 is its payload.
int EventHandlerExt2::cancelTimer(int id, int param1) {
    if (timer_.cancel(id, param1, false) > 0) return 1;
    return removeEvent(EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER, id, param1, &timer_);
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
