#include "time/real_clock.h"

#include <ctime>
#include <thread>

#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace core {

RealClock::RealClock() : start_(std::chrono::steady_clock::now()) {
#ifdef __linux__
    // The protocol's pauses are a few milliseconds: sleep them to the microsecond, not up to
    // the default 50 us late.
    ::prctl(PR_SET_TIMERSLACK, 1UL);
#endif
}

Duration RealClock::now() const {
    return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - start_);
}

void RealClock::sleep_until(Duration t) {
    std::this_thread::sleep_until(start_ + t);
}

bool RealClock::sleep_until_woken(Duration t, const std::atomic<bool>& woken) {
    std::unique_lock lock(wake_mutex_);
    return wake_.wait_until(lock, start_ + t, [&] { return woken.load(); });
}

void RealClock::wake_sleepers() {
    std::lock_guard lock(wake_mutex_);
    wake_.notify_all();
}

LocalTime RealClock::local_time() const {
    return local_time_at(std::time(nullptr));
}

int64_t RealClock::utc_seconds() const {
    return static_cast<int64_t>(std::time(nullptr));
}

}  // namespace core
