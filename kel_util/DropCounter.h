// Counts what a bounded queue or buffer had to drop and says when to report it: on the first
// drop, then at most once a second, so that an overload does not flood the log as well.
//
// Threads: not synchronised; the owner calls count under the lock that guards its queue.
// total() may be read from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace kel_util {

class DropCounter {
public:
    // What a due report says.
    struct Report {
        std::uint64_t sinceLast = 0;  // drops since the previous report
        std::uint64_t total = 0;      // drops in all
    };

    // Counts n drops; true when a report is due, filling report.
    bool count(std::uint64_t n, Report& report) {
        const std::uint64_t total = total_.fetch_add(n, std::memory_order_relaxed) + n;
        unreported_ += n;
        const auto now = std::chrono::steady_clock::now();
        if (reported_ && now - lastReport_ < std::chrono::seconds(1)) return false;
        reported_ = true;
        lastReport_ = now;
        report = {unreported_, total};
        unreported_ = 0;
        return true;
    }

    std::uint64_t total() const noexcept { return total_.load(std::memory_order_relaxed); }

private:
    std::atomic<std::uint64_t> total_{0};
    std::uint64_t unreported_ = 0;
    bool reported_ = false;
    std::chrono::steady_clock::time_point lastReport_{};
};

}  // namespace kel_util
