// EventHandlerExt for handlers whose events carry a third parameter: timer tasks carry two
// parameters, and onTimeout receives both. Same threading rules as EventHandlerExt.
#pragma once

#include <string>

#include "kel_util/EventHandler2.h"
#include "kel_util/EventHandlerExt.h"
#include "kel_util/EventTimer.h"

namespace kel_util {

class EventHandlerExt2 : public EventHandler2 {
public:
    explicit EventHandlerExt2(ClockSource& clock = clockSource());
    ~EventHandlerExt2() override;

    bool startProc(int workerId) override;
    void endProc(int workerId) override;
    void setName(const std::string& name) override;

    bool init(int workerCount);
    void clean() override;

    bool setTimer(int milliseconds, int id, int param1, int param2);
    int cancelTimer(int id, int param1);

protected:
    using EventHandler2::onEvent;
    using EventHandler2::onEventClean;
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                 const void* from) override;
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                      const void* from) override;
    // The default logs the unexpected timeout, releases the eventLock and returns false.
    virtual bool onTimeout(int id, int param1, int param2);

private:
    EventTimer2 timer_;
};

}  // namespace kel_util
