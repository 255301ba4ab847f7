#include "phone/LogicLoop.h"

#include <climits>
#include <exception>

#include "kel_util/Exception.h"
#include "kel_util/Log.h"
#include "kel_util/SimpleTimer2.h"
#include "kel_util/Thread.h"

using kel_util::MAJ;

class LogicLoop::LoopThread : public kel_util::Thread {
public:
    explicit LoopThread(LogicLoop& loop) : loop_(loop) { setName("LogicLoop"); }
    void run() override { loop_.run(); }

private:
    LogicLoop& loop_;
};

// Each task is one period of a timer: param1 its generation, param2 its period. An expiry
// arms the next period from the timer thread, so the period does not drift with the loop's
// latency.
class LogicLoop::TimerThread : public kel_util::SimpleTimer2 {
public:
    TimerThread(LogicLoop& loop, kel_util::ClockSource& clock) : SimpleTimer2(clock), loop_(loop) {
        setName("LogicLoopTimer");
    }
    ~TimerThread() override { discardAndStop(); }

protected:
    using SimpleTimer2::timerCleanProc;
    using SimpleTimer2::timerProc;
    void timerProc(int id, int generation, int period) override {
        if (!loop_.queueExpiry(id, generation)) return;
        schedule(std::make_unique<kel_util::TimerTask2>(id, generation, period), period, false);
    }
    void timerCleanProc(int, int, int) override {}

private:
    LogicLoop& loop_;
};

LogicLoop::LogicLoop(LogicWindow& window, kel_util::ClockSource& clock)
    : window_(window), timer_(std::make_unique<TimerThread>(*this, clock)), thread_(std::make_unique<LoopThread>(*this)) {}

LogicLoop::~LogicLoop() { stop(); }

bool LogicLoop::start() {
    {
        std::lock_guard guard(mutex_);
        if (started_) return false;
        started_ = true;
        running_ = true;
    }
    try {
        if (timer_->start() && thread_->start()) return true;
    } catch (const kel_util::SystemException& error) {
        kel_util::logPrint(MAJ, "LogicLoop::start. %s\n", error.toString().c_str());
    }
    stop();
    return false;
}

void LogicLoop::stop() {
    std::deque<Entry> dropped;
    {
        std::lock_guard guard(mutex_);
        running_ = false;
        dropped.swap(queue_);
        postedCount_ = 0;
        timers_.clear();
        changed_.notify_all();
    }
    try {
        timer_->stop();
        thread_->join();
    } catch (const kel_util::SystemException& error) {
        kel_util::logPrint(MAJ, "LogicLoop::stop. %s\n", error.toString().c_str());
    }
    // The dropped records are freed here, outside the lock: their destructors may do anything.
}

bool LogicLoop::post(int message, std::unique_ptr<LogicRecord> record) {
    std::lock_guard guard(mutex_);
    if (!running_ || postedCount_ >= kQueueLimit) return false;
    queue_.push_back(Entry{false, message, 0, std::move(record)});
    ++postedCount_;
    changed_.notify_all();
    return true;
}

bool LogicLoop::setTimer(int timerId, int periodMs) {
    if (periodMs <= 0) return false;
    int generation = 0;
    int replaced = 0;
    {
        std::lock_guard guard(mutex_);
        if (!running_) return false;
        lastGeneration_ = lastGeneration_ == INT_MAX ? 1 : lastGeneration_ + 1;
        generation = lastGeneration_;
        RunningTimer& timer = timers_[timerId];
        replaced = timer.generation;
        timer = RunningTimer{generation, false};
    }
    // The timer lock is taken only after mutex_ is given up (the timer thread takes them in the
    // other order). A task of the replaced generation that escapes this cancel finds itself
    // replaced at its expiry and ends there.
    timer_->cancel(timerId, replaced, true);
    return timer_->setTimer(periodMs, timerId, generation, periodMs);
}

bool LogicLoop::killTimer(int timerId) {
    int generation = 0;
    {
        std::lock_guard guard(mutex_);
        const auto found = timers_.find(timerId);
        if (found == timers_.end()) return false;
        generation = found->second.generation;
        timers_.erase(found);
    }
    timer_->cancel(timerId, generation, true);
    return true;
}

bool LogicLoop::isAccepting() const {
    std::lock_guard guard(mutex_);
    return running_;
}

bool LogicLoop::waitIdle(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return !running_ || (queue_.empty() && !busy_); });
}

bool LogicLoop::queueExpiry(int timerId, int generation) {
    std::lock_guard guard(mutex_);
    if (!running_) return false;
    const auto found = timers_.find(timerId);
    if (found == timers_.end() || found->second.generation != generation) return false;
    if (!found->second.expiryQueued) {
        found->second.expiryQueued = true;
        queue_.push_back(Entry{true, timerId, generation, nullptr});
        changed_.notify_all();
    }
    return true;
}

void LogicLoop::run() {
    Entry entry;
    while (takeNext(entry)) {
        dispatch(entry);
        entry.record.reset();
        finishedOne();
    }
}

bool LogicLoop::takeNext(Entry& entry) {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !running_ || !queue_.empty(); });
        if (!running_) return false;
        entry = std::move(queue_.front());
        queue_.pop_front();
        if (!entry.isTimer) {
            --postedCount_;
            break;
        }
        if (claimExpiry(entry)) break;
    }
    busy_ = true;
    return true;
}

bool LogicLoop::claimExpiry(const Entry& entry) {
    const auto found = timers_.find(entry.number);
    if (found == timers_.end() || found->second.generation != entry.generation) return false;
    found->second.expiryQueued = false;
    return true;
}

void LogicLoop::dispatch(Entry& entry) {
    // An escaping exception would end the loop thread and with it every later decision.
    try {
        if (entry.isTimer) {
            window_.onTimer(entry.number);
        } else {
            window_.onMessage(entry.number, std::move(entry.record));
        }
    } catch (const std::exception& error) {
        kel_util::logPrint(MAJ, "LogicLoop::dispatch. %s, %s=%d.\n", kel_util::describe(error).c_str(),
                           entry.isTimer ? "timer" : "message", entry.number);
    }
}

void LogicLoop::finishedOne() {
    std::lock_guard guard(mutex_);
    busy_ = false;
    if (queue_.empty()) changed_.notify_all();
}
