// The timer thread and lifecycle shared by EventHandlerExt (Handler = EventHandler, Timer =
// EventTimer) and EventHandlerExt2 (EventHandler2, EventTimer2): one timer thread per handler,
// started before the workers and stopped after them, posting expiries to the handler's queue.
#pragma once

#include <string>

#include "kel_util/Clock.h"
#include "kel_util/Exception.h"
#include "kel_util/Log.h"

namespace kel_util {

inline constexpr int EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER = 1;

template <class Handler, class Timer>
class TimerHandler : public Handler {
public:
    // Class names for the log lines: this class, its handler base and its timer.
    struct Names {
        const char* self;
        const char* handler;
        const char* timer;
    };

    TimerHandler(ClockSource& clock, Names names)
        : timer_(this, EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER, clock), names_(names) {}

    bool startProc(int workerId) override {
        logPrint(DBG, "%s::startProc. Starting %s, WorkerID=%d.\n", names_.self, names_.self, workerId);
        return true;
    }
    void endProc(int workerId) override {
        logPrint(DBG, "%s::endProc. Stopping %s, WorkerID=%d.\n", names_.self, names_.self, workerId);
    }
    // Names the pool and the timer thread ("<name>.Timer").
    void setName(const std::string& name) override {
        Handler::setName(name);
        timer_.setName(name + ".Timer");
    }

    // Starts the timer thread, then the workers with locked dispatch. False, leaving a running
    // handler and its timer as they are, when it was initialised already.
    bool init(int workerCount) {
        // A timer that is started already belongs to a live handler: stopping it below would
        // throw away that handler's pending tasks.
        bool started;
        try {
            started = timer_.start();
        } catch (const SystemException&) {
            started = false;
        }
        if (!started) {
            logPrint(MIN, "%s::init. Failed to start %s.\n", names_.self, names_.timer);
            return false;
        }
        if (!Handler::init(workerCount, true)) {
            logPrint(MIN, "%s::init. Failed to init %s.\n", names_.self, names_.handler);
            timer_.stop();
            return false;
        }
        timer_.setName(this->getName() + ".Timer");
        return true;
    }
    // The handler's clean (queued events reach onEventClean), then the timer's stop (pending
    // tasks reach timerCleanProc, never onTimeout).
    void clean() override {
        Handler::clean();
        timer_.stop();
    }

    // Cancels the first pending task with this id and param; when none is pending, takes back
    // the expiry this timer has already queued, so that onTimeout is not called for it.
    // Returns the number of tasks or events removed (0 or 1).
    int cancelTimer(int id, int param) {
        if (timer_.cancel(id, param, false) > 0) return 1;
        return this->removeEvent(EVENTHANDLEREXT_EVMSGTYPE_EVENTTIMER, id, param, &timer_);
    }

protected:
    Timer& timer() noexcept { return timer_; }

private:
    Timer timer_;
    const Names names_;
};

}  // namespace kel_util
