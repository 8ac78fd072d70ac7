#pragma once

#include <atomic>

namespace core {

// A request to stop the running operation. Cancel is honoured only where stopping leaves the
// chip as it was (READ and VERIFY at any wait, the others before they commit the chip);
// Abort ends the operation at its next wait whatever it does (the program is closing). Both
// may be made from a signal handler: they only store into a lock-free atomic.
class StopRequest {
public:
    enum Level { None = 0, Cancel = 1, Abort = 2 };

    void RequestCancel() { Raise(Cancel); }
    void RequestAbort() { Raise(Abort); }
    void Reset() { level_.store(None); }
    int Requested() const { return level_.load(); }

private:
    void Raise(int level) {
        int current = level_.load();
        while (current < level && !level_.compare_exchange_weak(current, level)) {
        }
    }

    std::atomic<int> level_{None};
    static_assert(std::atomic<int>::is_always_lock_free);
};

} // namespace core
