// Measures how late timer expiries reach onTimeout: 1000 timers spread evenly from 20 ms to
// 2 s on one EventHandlerExt (2 workers, as the phone gives every pool), first on an idle
// machine, then with every core kept busy by spinning threads. Prints median and 99th
// percentile lateness per run.
//
//   build/bench/bench_timer_lateness [timers] [busy threads]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

#include "kel_util/EventHandlerExt.h"

namespace {

using Clock = std::chrono::steady_clock;

class LatenessHandler : public kel_util::EventHandlerExt {
public:
    explicit LatenessHandler(int timers) : due_(static_cast<std::size_t>(timers)) {}
    ~LatenessHandler() override { clean(); }

    void arm(int id, int milliseconds) {
        due_[static_cast<std::size_t>(id)] = Clock::now() + std::chrono::milliseconds(milliseconds);
        setTimer(milliseconds, id, 0);
    }
    std::vector<double> waitAll() {
        std::unique_lock<std::mutex> guard(mutex_);
        done_.wait(guard, [&] { return lateness_.size() == due_.size(); });
        return lateness_;
    }

protected:
    bool onTimeout(int id, int) override {
        const auto now = Clock::now();
        releaseEventLock();
        const std::chrono::duration<double, std::milli> late = now - due_[static_cast<std::size_t>(id)];
        std::lock_guard<std::mutex> guard(mutex_);
        lateness_.push_back(late.count());
        if (lateness_.size() == due_.size()) done_.notify_all();
        return true;
    }

private:
    std::vector<Clock::time_point> due_;  // written before each timer is set
    std::mutex mutex_;
    std::condition_variable done_;
    std::vector<double> lateness_;
};

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

void measure(const char* label, int timers) {
    LatenessHandler handler(timers);
    handler.setName("Bench");
    if (!handler.init(2)) {
        std::fprintf(stderr, "init failed\n");
        std::exit(1);
    }
    for (int id = 0; id < timers; ++id) {
        const int milliseconds = 20 + static_cast<int>(static_cast<long>(id) * 1980 / (timers > 1 ? timers - 1 : 1));
        handler.arm(id, milliseconds);
    }
    const std::vector<double> lateness = handler.waitAll();
    std::printf("%-5s timers=%d  median=%.3f ms  p99=%.3f ms  max=%.3f ms  min=%.3f ms\n", label, timers,
                percentile(lateness, 0.5), percentile(lateness, 0.99), percentile(lateness, 1.0),
                percentile(lateness, 0.0));
}

}  // namespace

int main(int argc, char** argv) {
    const int timers = argc > 1 ? std::atoi(argv[1]) : 1000;
    const unsigned cores = std::max(1U, std::thread::hardware_concurrency());
    const int busyThreads = argc > 2 ? std::atoi(argv[2]) : static_cast<int>(2 * cores);
    if (timers <= 0 || busyThreads < 0) {
        std::fprintf(stderr, "usage: %s [timers > 0] [busy threads >= 0]\n", argv[0]);
        return 2;
    }
    measure("idle", timers);

    std::atomic<bool> spinning{true};
    std::vector<std::thread> burners;
    for (int i = 0; i < busyThreads; ++i) {
        burners.emplace_back([&spinning] {
            volatile unsigned long sink = 0;
            while (spinning.load(std::memory_order_relaxed)) sink = sink + 1;
        });
    }
    std::printf("(busy: %d spinning threads on %u cores)\n", busyThreads, cores);
    measure("busy", timers);
    spinning = false;
    for (auto& burner : burners) burner.join();
    return 0;
}
