#include "kel_util/SimpleTimer.h"

#include <cstdlib>

#include "kel_util/Exception.h"
#include "kel_util/Log.h"

namespace kel_util {

SimpleTimer::SimpleTimer(ClockSource& clock) : clock_(clock) {}

SimpleTimer::~SimpleTimer() { discardAndStop(); }

void SimpleTimer::discardAndStop() noexcept {
    try {
        {
            ScopedLock guard(cond_);
            ids_.clear();
            tasks_.clear();
            Thread::stop();
            cond_.notifyAll();
        }
        join();
    } catch (const Throwable& error) {
        logPrint(MAJ, "SimpleTimer::discardAndStop. %s\n", error.toString().c_str());
    }
}

bool SimpleTimer::setTimer(int milliseconds, int id, int param) {
    return schedule(std::make_unique<TimerTask>(id, param), milliseconds, true);
}

bool SimpleTimer::setTimerFromTimerThread(int milliseconds, int id, int param) {
    return schedule(std::make_unique<TimerTask>(id, param), milliseconds, false);
}

bool SimpleTimer::schedule(std::unique_ptr<TimerTask> task, int milliseconds, bool takeLock) {
    if (!takeLock) return insert(std::move(task), milliseconds, false);
    ScopedLock guard(cond_);
    return insert(std::move(task), milliseconds, true);
}

bool SimpleTimer::insert(std::unique_ptr<TimerTask> task, int milliseconds, bool wake) {
    if (!isRunning()) return false;
    const int delay = milliseconds > 0 ? milliseconds : 0;
    task->expiry = clock_.now() + std::chrono::milliseconds(delay);
    const int id = task->id;
    const ClockSource::TimePoint expiry = task->expiry;
    // multimap places a new key after the equal ones, keeping the order of setting.
    const Tasks::iterator added = tasks_.emplace(expiry, std::move(task));
    ids_.emplace(id, added);
    if (wake && added == tasks_.begin()) cond_.notify();
    return true;
}

int SimpleTimer::cancel(int id, int param, bool all) {
    ScopedLock guard(cond_);
    int count = 0;
    for (;;) {
        auto [begin, end] = ids_.equal_range(id);
        auto chosen = end;
        for (auto it = begin; it != end; ++it) {
            if (it->second->second->param != param) continue;
            if (chosen == end || it->second->first < chosen->second->first) chosen = it;
        }
        if (chosen == end) break;
        tasks_.erase(chosen->second);
        ids_.erase(chosen);
        ++count;
        if (!all) break;
    }
    return count;
}

void SimpleTimer::stop() {
    {
        ScopedLock guard(cond_);
        Thread::stop();
        cond_.notifyAll();
    }
    join();
}

bool SimpleTimer::start(long stackSize) {
    // Attached before the thread exists, so that a hand-moved clock waits for its first sleep.
    clock_.attach();
    try {
        if (Thread::start(stackSize)) return true;
    } catch (const SystemException&) {
        clock_.detach();
        throw;
    }
    clock_.detach();
    return false;
}

void SimpleTimer::run() {
    logPrint(DEV, "SimpleTimer::run. Starting SimpleTimer address=%p.\n", static_cast<void*>(this));
    try {
        ScopedLock guard(cond_);
        while (isRunning()) {
            if (tasks_.empty()) {
                clock_.waitUntil(cond_, ClockSource::TimePoint::max());
            } else if (tasks_.begin()->first > clock_.now()) {
                clock_.waitUntil(cond_, tasks_.begin()->first);
            } else {
                fireFirst();
            }
        }
        cleanAll();
    } catch (const std::exception& error) {
        // Without its thread no timer of the handler would ever fire again.
        logPrint(MAJ, "SimpleTimer::run. SystemException %s.\n", describe(error).c_str());
        std::abort();
    }
    clock_.detach();
    logPrint(DEV, "SimpleTimer::run. Stopped SimpleTimer address=%p.\n", static_cast<void*>(this));
}

void SimpleTimer::fireFirst() {
    const Tasks::iterator first = tasks_.begin();
    unindex(first);
    std::unique_ptr<TimerTask> task = std::move(first->second);
    tasks_.erase(first);
    fire(*task);
}

void SimpleTimer::unindex(Tasks::iterator task) {
    auto [begin, end] = ids_.equal_range(task->second->id);
    for (auto it = begin; it != end; ++it) {
        if (it->second == task) {
            ids_.erase(it);
            return;
        }
    }
}

void SimpleTimer::cleanAll() {
    ids_.clear();
    Tasks remaining;
    remaining.swap(tasks_);
    for (auto& [expiry, task] : remaining) clean(*task);
}

void SimpleTimer::fire(TimerTask& task) { timerProc(task.id, task.param); }

void SimpleTimer::clean(TimerTask& task) { timerCleanProc(task.id, task.param); }

}  // namespace kel_util
