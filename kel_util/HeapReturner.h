// Gives the heap's free pages back to the system once most of the heap lies free. The C
// library keeps what a program frees in its arenas for reuse; a user agent that once held
// tens of thousands of transactions (each lives 32 s after its last response) would keep
// their pages for good after the load is over. A thread looks every interval and trims the
// arenas when their free bytes exceed both what is in use and a floor, and at least the floor
// has been freed since the last trim: a process under steady load, or idle after a trim, never
// pays for a trim that gives nothing back.
//
// Threads: start and stop from the owner; returnFreedPages from any thread.
#pragma once

#include <cstddef>
#include <mutex>

#include "kel_util/Cond.h"
#include "kel_util/Thread.h"

namespace kel_util {

class HeapReturner : public Thread {
public:
    // Looks every intervalMs; floorBytes is the least worth trimming.
    explicit HeapReturner(int intervalMs = 2000, std::size_t floorBytes = 8u << 20);
    ~HeapReturner() override;

    bool start(long stackSize = -1) override;
    void run() override;
    // Wakes the thread and joins it; start may follow again.
    void stop() override;

    // Trims when the free part of the heap is large enough; true when it trimmed.
    bool returnFreedPages();

private:
    const int intervalMs_;
    const std::size_t floorBytes_;
    Cond wake_;
    bool stopping_ = false;  // guarded by wake_
    std::mutex lookMutex_;
    std::size_t peakInUse_ = 0;  // since the last trim; guarded by lookMutex_
};

}  // namespace kel_util
