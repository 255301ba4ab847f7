// A SimpleTimer whose tasks carry a second parameter (TimerTask2).
#pragma once

#include "kel_util/SimpleTimer.h"

namespace kel_util {

class SimpleTimer2 : public SimpleTimer {
public:
    using SimpleTimer::SimpleTimer;

    // Sets a task with param2 = 0.
    bool setTimer(int milliseconds, int id, int param) override;
    virtual bool setTimer(int milliseconds, int id, int param1, int param2);
    bool setTimerFromTimerThread(int milliseconds, int id, int param) override;

protected:
    // The two-argument forms are not used by this timer.
    void timerProc(int, int) override {}
    void timerCleanProc(int, int) override {}
    void fire(TimerTask& task) override;
    void clean(TimerTask& task) override;

    virtual void timerProc(int id, int param1, int param2) = 0;
    virtual void timerCleanProc(int id, int param1, int param2) = 0;
};

}  // namespace kel_util
