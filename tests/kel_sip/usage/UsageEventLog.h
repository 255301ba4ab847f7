// The events a registrant or publisher reported, kept for a test thread to wait on.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "FakeTransactionController.h"

namespace kel_sip::test {

struct UsageEvent {
    int event;
    int id;
    int state;       // the usage's state when it reported
    int statusCode;  // of the message, 0 without one or for a request
    intptr_t parameter;
    std::shared_ptr<SipMessageExt> message;
    std::chrono::steady_clock::time_point at;  // when it was reported
};

class UsageEventLog {
public:
    void add(UsageEvent event) {
        std::lock_guard<std::mutex> lock(mutex_);
        events_.push_back(std::move(event));
        changed_.notify_all();
    }
    // Waits until count events have come; false at the deadline.
    bool waitFor(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kDeadline, [&] { return events_.size() >= count; });
    }
    // Waits for the first event numbered event at or after index cursor within limit; on
    // success cursor moves past it.
    std::optional<UsageEvent> waitForEvent(int event, std::size_t& cursor, std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(mutex_);
        std::optional<UsageEvent> found;
        changed_.wait_for(lock, limit, [&] {
            for (; cursor < events_.size() && !found; ++cursor) {
                if (events_[cursor].event == event) found = events_[cursor];
            }
            return found.has_value();
        });
        return found;
    }
    std::vector<UsageEvent> all() {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    // The event numbers in order.
    std::vector<int> numbers() {
        std::vector<int> out;
        for (const UsageEvent& event : all()) out.push_back(event.event);
        return out;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<UsageEvent> events_;
};

// The record of one event of a registrant or a publisher.
template <class Usage>
UsageEvent recordOf(int event, Usage& usage, const SipMessageExt* message, intptr_t parameter) {
    return {event,
            usage.getId(),
            usage.getState(),
            message != nullptr && !message->isRequest ? message->statusCode : 0,
            parameter,
            message != nullptr ? std::make_shared<SipMessageExt>(*message) : nullptr,
            std::chrono::steady_clock::now()};
}

// A response to request with code, and extra header lines ("Name: value\n" each).
std::unique_ptr<SipMessageExt> responseTo(const SipMessageExt& request, int code, const std::string& headers);

}  // namespace kel_sip::test
