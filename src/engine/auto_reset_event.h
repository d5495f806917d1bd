// An auto-reset event: Signal wakes one waiter (or the next one to wait), then the event
// is clear again. The benchmark hands each cycle to its workers and back with these; the
// mutex inside also orders the worker records' accesses on either side of a hand-over.
#pragma once

#include <condition_variable>
#include <mutex>

class AutoResetEvent {
public:
    void Signal() {
        {
            std::lock_guard<std::mutex> hold(lock_);
            signalled_ = true;
        }
        changed_.notify_one();
    }

    void Wait() {
        std::unique_lock<std::mutex> hold(lock_);
        changed_.wait(hold, [this] { return signalled_; });
        signalled_ = false;
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    bool signalled_ = false;
};
