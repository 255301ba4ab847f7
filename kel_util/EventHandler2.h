// An EventHandler whose messages carry a third parameter (EventMessage2).
#pragma once

#include "kel_util/EventHandler.h"

namespace kel_util {

class EventHandler2 : public EventHandler {
public:
    // Posts an EventMessage2 with param3 = 0.
    bool postEvent(int type, intptr_t param1, intptr_t param2, const void* from, bool front = false) override;
    virtual bool postEvent(int type, intptr_t param1, intptr_t param2, intptr_t param3, const void* from,
                           bool front = false);

protected:
    // The three-parameter forms are not used by this handler.
    void onEvent(int, int, intptr_t, intptr_t, const void*) override {}
    void onEventClean(int, int, intptr_t, intptr_t, const void*) override {}
    void dispatchEvent(int workerId, EventMessage& message) override;
    void dispatchEventClean(int workerId, EventMessage& message) override;

    virtual void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                         const void* from) = 0;
    virtual void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, intptr_t param3,
                              const void* from) = 0;
};

}  // namespace kel_util
