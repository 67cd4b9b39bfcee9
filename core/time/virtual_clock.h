#pragma once

#include <condition_variable>
#include <mutex>
#include <optional>

#include "time/clock.h"

namespace core {

// Protocol time without real waiting: a pause or a deadline moves the clock forward at once.
// One worker at a time drives it (the link belongs to one activity at a time). A hold stops
// the clock at a given time: a sleeper that would pass it waits there until the hold moves,
// so a script can act at an exact virtual moment while a run goes on.
class VirtualClock : public Clock {
  public:
    // How the virtual PC reads its local time: in UTC (tests, whatever the machine's zone), or
    // in the process's time zone with its rules, as the real PC's clock does (--fast): summer
    // time begins and ends on it.
    enum class Zone { utc, local };
    explicit VirtualClock(LocalTime start = LocalTime{}, Zone zone = Zone::utc);

    Duration now() const override;
    void sleep_until(Duration t) override;
    LocalTime local_time() const override;
    int64_t utc_seconds() const override;
    // Held or not, woken stops the wait where the clock stands.
    bool sleep_until_woken(Duration t, const std::atomic<bool>& woken) override;
    void wake_sleepers() override;

    // Moves the clock forward to t (never back), as a sleep would, but ignoring the hold.
    void advance_to(Duration t);
    void hold_at(Duration t);
    void release_hold();
    // Blocks until the clock has reached t; returns false if it is still short after
    // real_timeout (nobody drives it).
    bool wait_reached(Duration t, std::chrono::milliseconds real_timeout);

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    Duration now_{0};
    std::optional<Duration> hold_;
    Zone zone_;
    int64_t start_seconds_;  // UTC seconds at the start
};

}  // namespace core
