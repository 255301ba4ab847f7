// An EventHandler for tests: records what reaches onEvent and onEventClean and lets a test
// hook into each dispatch.
#pragma once

#include <functional>
#include <vector>

#include "Waiting.h"
#include "kel_util/EventHandler.h"

namespace kel_test {

struct Event {
    int workerId;
    int type;
    intptr_t param1;
    intptr_t param2;
    const void* from;
};

// A gate a dispatch can block on until the test opens it.
class Gate {
public:
    void open() {
        monitor_.update([this] { open_ = true; });
    }
    bool pass() {
        return monitor_.waitFor([this] { return open_; });
    }

private:
    Monitor monitor_;
    bool open_ = false;
};

class RecordingHandler : public kel_util::EventHandler {
public:
    // Runs inside onEvent before the event is recorded; with locked dispatch it must call
    // releaseEventLock. Without a hook the event lock is released at once.
    std::function<void(const Event&)> hook;

    ~RecordingHandler() override { clean(); }

    std::vector<int> handledTypes() {
        std::lock_guard<std::mutex> guard(monitor.mutex());
        std::vector<int> types;
        for (const Event& event : handled) types.push_back(event.type);
        return types;
    }
    bool waitHandled(std::size_t count) {
        return monitor.waitFor([&] { return handled.size() >= count; });
    }

    Monitor monitor;
    std::vector<Event> handled;  // guarded by monitor
    std::vector<Event> cleaned;  // guarded by monitor

protected:
    void onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override {
        const Event event{workerId, type, param1, param2, from};
        if (hook) {
            hook(event);
        } else {
            releaseEventLock();
        }
        monitor.update([&] { handled.push_back(event); });
    }
    void onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) override {
        releaseEventLock();
        monitor.update([&] { cleaned.push_back(Event{workerId, type, param1, param2, from}); });
    }
};

}  // namespace kel_test
