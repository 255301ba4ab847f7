// The numbered events that layers post to each other's EventHandler. A message is owned by
// the handler's queue once postEvent accepts it; payload objects its parameters point to are
// owned by the receiver's onEvent or onEventClean.
#pragma once

#include <cstdint>

namespace kel_util {

struct EventMessage {
    EventMessage(int type, intptr_t param1, intptr_t param2, const void* from)
        : type(type), param1(param1), param2(param2), from(from) {}
    virtual ~EventMessage() = default;

    int type;
    intptr_t param1;
    intptr_t param2;
    const void* from;  // the sender, for matching and logging only
};

struct EventMessage2 : EventMessage {
    EventMessage2(int type, intptr_t param1, intptr_t param2, intptr_t param3, const void* from)
        : EventMessage(type, param1, param2, from), param3(param3) {}

    intptr_t param3;
};

}  // namespace kel_util
