#include "kel_util/EventHandler2.h"

#include <memory>

namespace kel_util {

bool EventHandler2::postEvent(int type, intptr_t param1, intptr_t param2, const void* from, bool front) {
    return postEvent(type, param1, param2, 0, from, front);
}

bool EventHandler2::postEvent(int type, intptr_t param1, intptr_t param2, intptr_t param3, const void* from,
                              bool front) {
    return queueMessage(std::make_unique<EventMessage2>(type, param1, param2, param3, from), front);
}

// Every message of this handler is an EventMessage2: both postEvent forms build one.
void EventHandler2::dispatchEvent(int workerId, EventMessage& message) {
    auto& full = static_cast<EventMessage2&>(message);
    onEvent(workerId, full.type, full.param1, full.param2, full.param3, full.from);
}

void EventHandler2::dispatchEventClean(int workerId, EventMessage& message) {
    auto& full = static_cast<EventMessage2&>(message);
    onEventClean(workerId, full.type, full.param1, full.param2, full.param3, full.from);
}

}  // namespace kel_util
