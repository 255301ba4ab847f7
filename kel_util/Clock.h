// The monotonic clock every protocol timer reads, and a clock that tests move by hand.
//
// Timers (SimpleTimer and the handlers built on it) never read the wall clock: stepping it
// (NTP, suspend and resume) does not move their expiries. Each timer takes "now" and its
// sleeps from one ClockSource, fixed when the timer is constructed: the source passed to its
// constructor, by default the process-wide clockSource().
//
// Testing timer-driven behaviour exactly (retransmissions, refreshes, session timers):
//
//   kel_util::ManualClock clock;
//   kel_util::ScopedClockSource useIt(clock);   // before the stack is constructed
//   ... construct and init the handlers, start a transaction ...
//   clock.advance(std::chrono::milliseconds(500));  // Timer A fires, exactly once
//
// advance() moves the time, wakes the timers and returns once every timer thread using the
// clock is asleep again, so the expiries up to the new time have been posted
// to their handlers' queues (the handlers dispatch them asynchronously, as always). Time never
// moves on its own. The clock must outlive every timer constructed while it was installed.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "kel_util/Cond.h"

namespace kel_util {

class ClockSource {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~ClockSource() = default;

    // The current time of this clock. Any thread.
    virtual TimePoint now() const = 0;
    // Waits on cond, which the caller holds exactly once, until cond is notified or this clock
    // reaches deadline (TimePoint::max(): no limit). true when notified, false when the
    // deadline has come. Holds cond again on return.
    virtual bool waitUntil(Cond& cond, TimePoint deadline) = 0;
    // A thread that sleeps on this clock announces itself before its first wait and leaves
    // after its last, so that a hand-moved clock knows when all its sleepers have settled.
    virtual void attach() {}
    virtual void detach() {}
};

// CLOCK_MONOTONIC (std::chrono::steady_clock).
class SystemClock : public ClockSource {
public:
    TimePoint now() const override;
    bool waitUntil(Cond& cond, TimePoint deadline) override;
};

// A clock that stands still until a test moves it.
class ManualClock : public ClockSource {
public:
    // Starts at an arbitrary fixed point, one hour after the clock's epoch.
    ManualClock();

    TimePoint now() const override;
    bool waitUntil(Cond& cond, TimePoint deadline) override;
    void attach() override;
    void detach() override;

    // Moves the time forward by step (a negative step is ignored), wakes every sleeper and waits
    // until every attached thread sleeps again, having handled all that is due. false when they
    // did not settle within limit (a timer callback that blocks, for example). advance(0)
    // lets the timers catch up with setTimer calls made from other threads.
    bool advance(Duration step, std::chrono::milliseconds limit = std::chrono::seconds(10));
    // Number of threads attached, for tests that wait for a timer thread to start.
    int attachedCount() const;

private:
    struct Sleeper {
        unsigned long ticket;  // tells apart threads sleeping on one Cond
        Cond* cond;
        bool woken;
    };
    bool settledLocked() const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    TimePoint now_;
    int attached_ = 0;
    unsigned long nextTicket_ = 0;
    std::vector<Sleeper> sleepers_;
};

// The process-wide clock source: a SystemClock unless a ScopedClockSource replaced it.
ClockSource& clockSource();

// Installs a clock source for its lifetime and restores the previous one after. Install it
// before constructing the timers that are to use it; they keep the source they were built with.
class ScopedClockSource {
public:
    explicit ScopedClockSource(ClockSource& source);
    ~ScopedClockSource();
    ScopedClockSource(const ScopedClockSource&) = delete;
    ScopedClockSource& operator=(const ScopedClockSource&) = delete;

private:
    ClockSource* previous_;
};

}  // namespace kel_util
