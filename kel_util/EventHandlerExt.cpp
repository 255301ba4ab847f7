#include "kel_util/EventHandlerExt.h"

#include "kel_util/Exception.h"
#include "kel_util/Log.h"

namespace kel_util {

EventHandlerExt::EventHandlerExt(ClockSource& clock) : timer_(this, EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER, clock) {}

EventHandlerExt::~EventHandlerExt() { clean(); }

bool EventHandlerExt::startProc(int workerId) {
    logPrint(DBG, "EventHandlerExt::startProc. Starting EventHandlerExt, WorkerID=%d.\n", workerId);
    return true;
}

void EventHandlerExt::endProc(int workerId) {
    logPrint(DBG, "EventHandlerExt::endProc. Stopping EventHandlerExt, WorkerID=%d.\n", workerId);
}

void EventHandlerExt::setName(const std::string& name) {
    EventHandler::setName(name);
    timer_.setName(name + ".Timer");
}

bool EventHandlerExt::init(int workerCount) {
    try {
        timer_.start();
    } catch (const SystemException&) {
        logPrint(MIN, "EventHandlerExt::init. Failed to start EventTimer.\n");
        return false;
    }
    if (!EventHandler::init(workerCount, true)) {
        logPrint(MIN, "EventHandlerExt::init. Failed to init EventHandler.\n");
        timer_.stop();
        return false;
    }
    timer_.setName(getName() + ".Timer");
    return true;
}

void EventHandlerExt::clean() {
    EventHandler::clean();
    timer_.stop();
}

bool EventHandlerExt::setTimer(int milliseconds, int id, int param) {
    if (!isRunning()) return false;
    return timer_.setTimer(milliseconds, id, param);
}

int EventHandlerExt::cancelTimer(int id, int param) {
    if (timer_.cancel(id, param, false) > 0) return 1;
    return removeEvent(EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER, id, param, &timer_);
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
