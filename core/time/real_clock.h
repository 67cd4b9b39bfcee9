#pragma once

#include <condition_variable>
#include <mutex>

#include "time/clock.h"

namespace core {

// The production clock: the steady clock for pauses and deadlines, the system clock for the
// PC's local time.
class RealClock : public Clock {
  public:
    RealClock();
    Duration now() const override;
    void sleep_until(Duration t) override;
    LocalTime local_time() const override;
    int64_t utc_seconds() const override;
    bool sleep_until_woken(Duration t, const std::atomic<bool>& woken) override;
    void wake_sleepers() override;

  private:
    std::chrono::steady_clock::time_point start_;
    std::mutex wake_mutex_;
    std::condition_variable wake_;
};

}  // namespace core
