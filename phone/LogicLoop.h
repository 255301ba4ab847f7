// The logic loop (the "window" of the phone): one thread that runs every phone decision, fed
// by a queue of posted messages and by periodic timers.
//
// A message is a number (the WM_SIP_* values of UserAgentEventParam.h, or a front end's
// command) with an owned record. Once post accepts it the record belongs to the loop, which
// hands it to the window's onMessage on the loop thread; when post refuses it (loop not
// started, stopped, or queue full) the record is freed before post returns, so no caller has
// to remember to delete it.
//
// Timers repeat with their period until killed or set again under the same id, as window
// timers do: setting an id that is already running replaces it and starts its period anew.
// Expiries are read from the loop's ClockSource, so tests move them with a ManualClock. A
// timer whose expiry is still waiting in the queue does not queue a second one (a slow loop
// sees one expiry, not a backlog), and an expiry that was queued before its timer was killed
// or replaced is discarded, never delivered.
//
// Stop drops: posts are refused from then on, the timers end, and messages still queued are
// freed without being handled, as a destroyed window's are.
//
// Threads: post, setTimer and killTimer from any thread; start, stop and waitIdle from any
// thread but the loop's own (stop joins it). onMessage and onTimer run on the loop thread, one
// at a time, in the order the loop took them: the messages of one posting thread in the order
// it posted them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "kel_util/Clock.h"

// The base of every record posted to the loop.
struct LogicRecord {
    virtual ~LogicRecord() = default;
};

// What runs on the loop: the phone logic.
class LogicWindow {
public:
    virtual ~LogicWindow() = default;
    // A posted message; the record is the handler's (null when it was posted without one).
    virtual void onMessage(int message, std::unique_ptr<LogicRecord> record) = 0;
    virtual void onTimer(int timerId) = 0;
};

class LogicLoop {
public:
    // The most posted messages that may wait, as a window's queue is bounded; timer expiries
    // are not counted.
    static constexpr std::size_t kQueueLimit = 10000;

    // The window and the clock must outlive the loop.
    explicit LogicLoop(LogicWindow& window, kel_util::ClockSource& clock = kel_util::clockSource());
    ~LogicLoop();
    LogicLoop(const LogicLoop&) = delete;
    LogicLoop& operator=(const LogicLoop&) = delete;

    // Starts the loop thread and its timer; false when it was started before (a stopped loop
    // stays stopped) or a thread could not be made.
    bool start();
    // Refuses posts from now on, ends the timers, drops what is queued and joins the thread.
    void stop();

    // Queues message with its record; false (the record freed) when the loop does not run or
    // its queue is full.
    bool post(int message, std::unique_ptr<LogicRecord> record);

    // Starts or replaces the timer timerId with a period of periodMs (> 0); false when the
    // period is not positive or the loop does not run.
    bool setTimer(int timerId, int periodMs);
    // Ends the timer timerId; false when no such timer runs.
    bool killTimer(int timerId);

    // Whether posts are taken (started and not stopped). Any thread.
    bool isAccepting() const;

    // Waits until the queue is empty and no handler runs, at most limit (real time). true when
    // idle (a loop that does not run is idle).
    bool waitIdle(std::chrono::milliseconds limit);

private:
    class LoopThread;
    class TimerThread;

    // One queued item: a posted message, or the expiry of timer timerId.
    struct Entry {
        bool isTimer = false;
        int number = 0;  // message, or timer id
        int generation = 0;
        std::unique_ptr<LogicRecord> record;
    };
    struct RunningTimer {
        int generation = 0;  // tells a replaced timer's late expiries apart (from 1)
        bool expiryQueued = false;
    };

    void run();
    // Waits for the next entry; false once the loop stops.
    bool takeNext(Entry& entry);
    void dispatch(Entry& entry);
    // From the timer thread: queues the expiry of timerId; false when that timer is gone or
    // was replaced, so it is not armed again.
    bool queueExpiry(int timerId, int generation);
    // With mutex_ held, on the loop thread: whether a taken expiry is still its timer's.
    bool claimExpiry(const Entry& entry);
    void finishedOne();

    LogicWindow& window_;
    std::unique_ptr<TimerThread> timer_;
    std::unique_ptr<LoopThread> thread_;

    mutable std::mutex mutex_;  // never held while calling into the timer (its lock comes first)
    std::condition_variable changed_;
    // Guarded by mutex_.
    std::deque<Entry> queue_;
    std::size_t postedCount_ = 0;  // entries of queue_ that are posted messages
    std::unordered_map<int, RunningTimer> timers_;
    int lastGeneration_ = 0;
    bool started_ = false;
    bool running_ = false;
    bool busy_ = false;  // a handler runs
};
