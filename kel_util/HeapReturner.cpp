#include "kel_util/HeapReturner.h"

#include <malloc.h>

#include <algorithm>

#include "kel_util/Log.h"

namespace kel_util {

HeapReturner::HeapReturner(int intervalMs, std::size_t floorBytes) : intervalMs_(intervalMs), floorBytes_(floorBytes) {
    setName("HeapReturner");
}

HeapReturner::~HeapReturner() { stop(); }

bool HeapReturner::start(long stackSize) {
    wake_.lock();
    stopping_ = false;
    wake_.unlock();
    return Thread::start(stackSize);
}

void HeapReturner::run() {
    wake_.lock();
    while (!stopping_) {
        if (wake_.wait(intervalMs_)) continue;  // woken: stopping, or a signal left from before
        wake_.unlock();
        returnFreedPages();
        wake_.lock();
    }
    wake_.unlock();
}

void HeapReturner::stop() {
    wake_.lock();
    stopping_ = true;
    wake_.notify();
    wake_.unlock();
    Thread::stop();
    join();
}

bool HeapReturner::returnFreedPages() {
    // Sanitizer runtimes keep their own heap and report zeros here: nothing is trimmed.
    std::lock_guard<std::mutex> lock(lookMutex_);
    const struct mallinfo2 heap = mallinfo2();
    peakInUse_ = std::max(peakInUse_, heap.uordblks);
    // Trimmed pages still count as free: only what was freed since the last trim is new.
    const bool freedEnough = peakInUse_ - heap.uordblks > floorBytes_;
    if (heap.fordblks <= floorBytes_ || heap.fordblks <= heap.uordblks || !freedEnough) return false;
    malloc_trim(0);
    peakInUse_ = heap.uordblks;
    logPrint(DBG, "HeapReturner::returnFreedPages. free=%zu, in use=%zu.\n", heap.fordblks, heap.uordblks);
    return true;
}

}  // namespace kel_util
