#pragma once

#include <ctime>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace core {

// Monotonic time of a clock, counted from the moment the clock was made.
using Duration = std::chrono::microseconds;
using namespace std::chrono_literals;

// The PC's local wall-clock time, broken down as the programs read it.
struct LocalTime {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 6;  // 0 Sunday .. 6 Saturday, as strftime's %w
};

// The PC's local time at a moment of the system clock.
LocalTime local_time_at(std::time_t when);

// The moment (UTC seconds) at which the PC's local time reads t, under the process's time
// zone; a reading that a change of summer time skips or repeats is taken as the system takes
// it.
int64_t utc_seconds_at(const LocalTime& t);
// Formats with the strftime conversions the programs use (%d %m %H %M %S %w %Y %y %%).
std::string format_local_time(const LocalTime& t, const std::string& format);

// Parses "YYYY-MM-DDTHH:MM:SS"; returns false on any malformed or impossible value.
bool parse_local_time(const std::string& text, LocalTime& out);

// Local time as plain calendar seconds since 1970-01-01 00:00:00 and back; no time zone is
// involved, so a virtual PC clock can run forward from any starting reading.
int64_t calendar_seconds(const LocalTime& t);
LocalTime local_time_from_calendar_seconds(int64_t seconds);

// Every pause, reply deadline and reading of the PC clock goes through here, so that tests
// and --fast can run protocol time on a virtual clock.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual Duration now() const = 0;
    virtual void sleep_until(Duration t) = 0;
    virtual LocalTime local_time() const = 0;
    // Seconds since 1970 in UTC: what a stored moment is measured on, so that a change of zone
    // or of summer time moves no gap between two calls.
    virtual int64_t utc_seconds() const = 0;

    void sleep_for(Duration d) { sleep_until(now() + d); }

    // A pause that a request to end cuts short: it sleeps until t, or until woken is true
    // and wake_sleepers() has been called; true when it was woken.
    virtual bool sleep_until_woken(Duration t, const std::atomic<bool>& woken) = 0;
    virtual void wake_sleepers() = 0;
    bool sleep_for_woken(Duration d, const std::atomic<bool>& woken) {
        return sleep_until_woken(now() + d, woken);
    }
};

}  // namespace core
