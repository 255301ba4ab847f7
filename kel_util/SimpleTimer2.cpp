#include "kel_util/SimpleTimer2.h"

namespace kel_util {

bool SimpleTimer2::setTimer(int milliseconds, int id, int param) { return setTimer(milliseconds, id, param, 0); }

bool SimpleTimer2::setTimer(int milliseconds, int id, int param1, int param2) {
    return schedule(std::make_unique<TimerTask2>(id, param1, param2), milliseconds, true);
}

bool SimpleTimer2::setTimerFromTimerThread(int milliseconds, int id, int param) {
    return schedule(std::make_unique<TimerTask2>(id, param, 0), milliseconds, false);
}

// Every task of this timer is a TimerTask2: all its setters build one.
void SimpleTimer2::fire(TimerTask& task) {
    auto& full = static_cast<TimerTask2&>(task);
    timerProc(full.id, full.param, full.param2);
}

void SimpleTimer2::clean(TimerTask& task) {
    auto& full = static_cast<TimerTask2&>(task);
    timerCleanProc(full.id, full.param, full.param2);
}

}  // namespace kel_util
