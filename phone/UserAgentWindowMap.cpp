#include "phone/UserAgentWindowMap.h"

#include "kel_util/Log.h"

using kel_util::logPrint;

void UserAgentWindowMap::beginStart() {
    std::lock_guard lock(mutex_);
    ++startsUnderWay_;
}

bool UserAgentWindowMap::finishStart(int id, LogicLoop* window) {
    std::lock_guard lock(mutex_);
    --startsUnderWay_;
    bool recorded = true;
    if (id > 0 && window != nullptr) {
        recorded = windows_.emplace(id, window).second;
        auto held = held_.find(id);
        if (recorded && held != held_.end()) {
            std::vector<HeldEvent> events = std::move(held->second);
            held_.erase(held);
            for (HeldEvent& event : events) {
                // The entry may have ended with an earlier one of them.
                if (windows_.count(id) != 0) postTo(*window, id, event.route, std::move(event.record));
            }
        }
    }
    if (startsUnderWay_ == 0) dropUnclaimed();
    return recorded;
}

bool UserAgentWindowMap::deliver(int type, int id, int state, const kel_sip::SipMessageExt* message) {
    const EventRoute route = routeUserAgentEvent(hook_, type);
    std::lock_guard lock(mutex_);
    auto found = windows_.find(id);
    if (found == windows_.end()) {
        std::unique_ptr<UserAgentEventParam> record = makeUserAgentEventParam(route, type, id, state, message);
        if (startsUnderWay_ > 0 && record) {
            held_[id].push_back(HeldEvent{route, std::move(record)});
            return true;
        }
        logPrint(kel_util::MIN, "UserAgent::%s. Window not found, id=%d,.\n", userAgentHookName(hook_), id);
        return true;
    }
    LogicLoop* window = found->second;
    if (route.endsEntry) windows_.erase(found);
    return forwardUserAgentEvent(window, hook_, type, id, state, message);
}

bool UserAgentWindowMap::postTo(LogicLoop& window, int id, const EventRoute& route,
                                std::unique_ptr<UserAgentEventParam> record) {
    if (route.endsEntry) windows_.erase(id);
    return postUserAgentEvent(window, hook_, route, std::move(record));
}

void UserAgentWindowMap::dropUnclaimed() {
    for (const auto& [id, events] : held_) {
        logPrint(kel_util::MIN, "UserAgent::%s. Window not found, id=%d,.\n", userAgentHookName(hook_), id);
    }
    held_.clear();
}

bool UserAgentWindowMap::contains(int id) {
    std::lock_guard lock(mutex_);
    return windows_.count(id) != 0;
}

void UserAgentWindowMap::clear() {
    std::lock_guard lock(mutex_);
    windows_.clear();
    held_.clear();
}
