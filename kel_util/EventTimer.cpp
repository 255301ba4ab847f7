#include "kel_util/EventTimer.h"

#include "kel_util/Log.h"

namespace kel_util {

// An expiry the handler no longer accepts is dropped; postEvent has freed the message.
void EventTimer::timerProc(int id, int param) {
    logPrint(DEV, "EventTimer::timerProc. Invoked timerProc id=%d, param=%d, address=%p.\n", id, param,
             static_cast<void*>(this));
    if (target_ != nullptr) target_->postEvent(eventType_, id, param, this, true);
}

void EventTimer::timerCleanProc(int id, int param) {
    logPrint(DEV, "EventTimer::timerCleanProc. Invoked timerCleanProc id=%d, param=%d, address=%p.\n", id, param,
             static_cast<void*>(this));
}

void EventTimer2::timerProc(int id, int param1, int param2) {
    logPrint(DEV, "EventTimer2::timerProc. Invoked timerProc id=%d, param1=%d, param2=%d, address=%p.\n", id, param1,
             param2, static_cast<void*>(this));
    if (target_ != nullptr) target_->postEvent(eventType_, id, param1, param2, this, true);
}

void EventTimer2::timerCleanProc(int id, int param1, int param2) {
    logPrint(DEV, "EventTimer2::timerCleanProc. Invoked timerCleanProc id=%d, param1=%d, param2=%d, address=%p.\n",
             id, param1, param2, static_cast<void*>(this));
}

}  // namespace kel_util
