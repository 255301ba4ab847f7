// A gate for the operations of a component that another thread may shut down: each operation
// passes while the gate is open, and close waits until every operation inside has left, so
// that what the component frees afterwards is no longer in use.
//
// Threads: enter and leave (or Pass) from any thread; open and close from the owner. Passing
// costs two atomic operations and takes no lock.
#pragma once

#include <atomic>

namespace kel_util {

class OperationGate {
public:
    // One operation inside the gate for the life of the Pass; false when the gate was closed.
    class Pass {
    public:
        explicit Pass(OperationGate& gate) : gate_(gate), entered_(gate.enter()) {}
        ~Pass() {
            if (entered_) gate_.leave();
        }
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;
        explicit operator bool() const noexcept { return entered_; }

    private:
        OperationGate& gate_;
        const bool entered_;
    };

    bool enter() noexcept {
        inside_.fetch_add(1);
        if (!closed_.load()) return true;
        leave();
        return false;
    }
    void leave() noexcept {
        // Both sides write, then read the other's flag (sequentially consistent), so either
        // this leave sees the gate closed or close sees the operation gone.
        if (inside_.fetch_sub(1) == 1 && closed_.load()) inside_.notify_all();
    }
    void open() noexcept { closed_.store(false); }
    // Refuses new operations and waits for those inside to leave. Must not be called from
    // inside an operation.
    void close() noexcept {
        closed_.store(true);
        for (int inside = inside_.load(); inside != 0; inside = inside_.load()) inside_.wait(inside);
    }

private:
    std::atomic<int> inside_{0};
    std::atomic<bool> closed_{false};
};

}  // namespace kel_util
