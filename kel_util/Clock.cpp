#include "kel_util/Clock.h"

#include <algorithm>
#include <atomic>

namespace kel_util {
namespace {

SystemClock systemClock;
std::atomic<ClockSource*> currentSource{&systemClock};

}  // namespace

ClockSource::TimePoint SystemClock::now() const { return std::chrono::steady_clock::now(); }

bool SystemClock::waitUntil(Cond& cond, TimePoint deadline) {
    if (deadline == TimePoint::max()) {
        cond.wait();
        return true;
    }
    return cond.waitUntil(deadline);
}

ManualClock::ManualClock() : now_(TimePoint() + std::chrono::hours(1)) {}

ClockSource::TimePoint ManualClock::now() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return now_;
}

bool ManualClock::waitUntil(Cond& cond, TimePoint deadline) {
    unsigned long ticket = 0;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (deadline <= now_) return false;
        ticket = nextTicket_++;
        sleepers_.push_back(Sleeper{ticket, &cond, false});
    }
    changed_.notify_all();
    // A wake-up given between the registration above and this wait stays pending in cond.
    cond.wait();
    std::lock_guard<std::mutex> guard(mutex_);
    const auto mine = std::find_if(sleepers_.begin(), sleepers_.end(), [&](const Sleeper& s) { return s.ticket == ticket; });
    sleepers_.erase(mine);
    return deadline > now_;
}

void ManualClock::attach() {
    std::lock_guard<std::mutex> guard(mutex_);
    ++attached_;
}

void ManualClock::detach() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        --attached_;
    }
    changed_.notify_all();
}

int ManualClock::attachedCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return attached_;
}

bool ManualClock::advance(Duration step, std::chrono::milliseconds limit) {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (step > Duration::zero()) now_ += step;
        // Every sleeper looks at its tasks again, not only those due: one may have been woken
        // by a new task already without having left its entry yet.
        for (Sleeper& sleeper : sleepers_) {
            if (sleeper.woken) continue;
            sleeper.woken = true;
            sleeper.cond->notify();
        }
    }
    std::unique_lock<std::mutex> guard(mutex_);
    return changed_.wait_for(guard, limit, [this] { return settledLocked(); });
}

bool ManualClock::settledLocked() const {
    const auto asleep = std::count_if(sleepers_.begin(), sleepers_.end(), [](const Sleeper& s) { return !s.woken; });
    return asleep == static_cast<long>(sleepers_.size()) && static_cast<int>(sleepers_.size()) >= attached_;
}

ClockSource& clockSource() { return *currentSource.load(std::memory_order_acquire); }

ScopedClockSource::ScopedClockSource(ClockSource& source)
    : previous_(currentSource.exchange(&source, std::memory_order_acq_rel)) {}

ScopedClockSource::~ScopedClockSource() { currentSource.store(previous_, std::memory_order_release); }

}  // namespace kel_util
