// A timer thread holding tasks ordered by expiry; when a task expires, timerProc runs on the
// timer thread. Expiries are on the timer's ClockSource (monotonic; see Clock.h), so stepping
// the wall clock does not move them.
//
// Threads: setTimer, cancel and stop may be called from any thread except that stop joins
// and so must not be called from timerProc. timerProc and timerCleanProc run on the timer
// thread holding the timer lock; from there use setTimerFromTimerThread, and take no lock that
// a thread calling setTimer may hold while waiting for this one (the posting timers only take
// their handler's queue mutex).
#pragma once

#include <map>
#include <memory>
#include <unordered_map>

#include "kel_util/Clock.h"
#include "kel_util/Cond.h"
#include "kel_util/Thread.h"
#include "kel_util/TimerTask.h"

namespace kel_util {

class SimpleTimer : public Thread {
public:
    // The clock is kept for the timer's life; it must outlive the timer.
    explicit SimpleTimer(ClockSource& clock = clockSource());
    // Stops and joins a running timer; tasks still held are deleted without timerCleanProc.
    ~SimpleTimer() override;

    // Starts the timer thread; it is attached to the clock from here until it ends.
    bool start(long stackSize = -1) override;
    void run() override;

    // Schedules id/param to expire after milliseconds (0 or less: on the next pass, after
    // tasks already due). Tasks with equal expiries fire in the order they were set. false when
    // the timer thread is not running.
    virtual bool setTimer(int milliseconds, int id, int param);
    // The same from inside timerProc, where the timer lock is held.
    virtual bool setTimerFromTimerThread(int milliseconds, int id, int param);

    // Cancels the pending task with this id and param that expires first (every such task
    // when all is set); returns how many were cancelled. A lookup by id, not a scan.
    int cancel(int id, int param, bool all);
    // Clears the running flag, wakes the timer thread and joins it; tasks still pending go to
    // timerCleanProc.
    void stop() override;

    ClockSource& clock() const noexcept { return clock_; }

protected:
    virtual void timerProc(int id, int param) = 0;
    virtual void fire(TimerTask& task);
    virtual void timerCleanProc(int id, int param) = 0;
    virtual void clean(TimerTask& task);

    // Deletes the pending tasks without timerCleanProc, stops and joins the thread. Leaf
    // classes call it from their destructor, before their timerProc goes away.
    void discardAndStop() noexcept;

    // Schedules a task built by a subclass (SimpleTimer2 uses TimerTask2).
    bool schedule(std::unique_ptr<TimerTask> task, int milliseconds, bool takeLock);

private:
    using Tasks = std::multimap<ClockSource::TimePoint, std::unique_ptr<TimerTask>>;

    bool insert(std::unique_ptr<TimerTask> task, int milliseconds, bool wake);
    void fireFirst();
    void unindex(Tasks::iterator task);
    void cleanAll();

    ClockSource& clock_;
    Cond cond_;                                          // its mutex is the timer lock
    Tasks tasks_;                                        // earliest first; equal expiries in order set
    std::unordered_multimap<int, Tasks::iterator> ids_;  // id -> pending task
};

}  // namespace kel_util
