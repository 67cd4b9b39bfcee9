#pragma once

#include <condition_variable>
#include <mutex>

namespace core {

// An event that starts unset: set wakes one waiter and resets itself. close() wakes every waiter
// for good, so worker threads can be ended when the program closes.
class AutoResetEvent {
  public:
    void set() {
        std::lock_guard lock(mutex_);
        signalled_ = true;
        changed_.notify_one();
    }
    // Returns false once the event has been closed.
    bool wait() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return signalled_ || closed_; });
        if (closed_) {
            return false;
        }
        signalled_ = false;
        return true;
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
    bool closed_ = false;
};

}  // namespace core
