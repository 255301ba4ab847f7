// Waiting helpers for the kernel's thread tests: block on a condition with a generous
// deadline instead of sleeping.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kel_test {

inline constexpr auto kGenerous = std::chrono::seconds(10);

// A state guarded by one mutex that tests change and wait on.
class Monitor {
public:
    // Runs change under the lock and wakes every waiter.
    void update(const std::function<void()>& change) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            change();
        }
        changed_.notify_all();
    }
    // true when condition held before the deadline.
    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = kGenerous) {
        std::unique_lock<std::mutex> guard(mutex_);
        return changed_.wait_for(guard, limit, condition);
    }
    std::mutex& mutex() { return mutex_; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

// Polls a condition that no monitor can report (state inside the code under test).
template <class Condition>
bool eventually(Condition condition, std::chrono::milliseconds limit = kGenerous) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace kel_test
