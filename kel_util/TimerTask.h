// One pending expiry of a SimpleTimer. Owned by its timer from the moment setTimer accepts it.
#pragma once

#include "kel_util/Clock.h"

namespace kel_util {

struct TimerTask {
    TimerTask(int id, int param) : id(id), param(param) {}
    virtual ~TimerTask() = default;

    int id;
    int param;
    ClockSource::TimePoint expiry{};  // on the timer's monotonic clock
};

struct TimerTask2 : TimerTask {
    TimerTask2(int id, int param1, int param2) : TimerTask(id, param1), param2(param2) {}

    int param2;
};

}  // namespace kel_util
