#include "time/virtual_clock.h"

namespace core {

VirtualClock::VirtualClock(LocalTime start, Zone zone)
    : zone_(zone),
      start_seconds_(zone == Zone::local ? utc_seconds_at(start) : calendar_seconds(start)) {}

Duration VirtualClock::now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void VirtualClock::sleep_until(Duration t) {
    std::unique_lock lock(mutex_);
    while (hold_ && t > *hold_) {
        if (now_ < *hold_) {
            now_ = *hold_;
            changed_.notify_all();
        }
        changed_.wait(lock);
    }
    if (t > now_) {
        now_ = t;
        changed_.notify_all();
    }
}

bool VirtualClock::sleep_until_woken(Duration t, const std::atomic<bool>& woken) {
    std::unique_lock lock(mutex_);
    while (hold_ && t > *hold_) {
        if (woken) {
            return true;
        }
        if (now_ < *hold_) {
            now_ = *hold_;
            changed_.notify_all();
        }
        changed_.wait(lock);
    }
    if (woken) {
        return true;
    }
    if (t > now_) {
        now_ = t;
        changed_.notify_all();
    }
    return false;
}

void VirtualClock::wake_sleepers() {
    std::lock_guard lock(mutex_);
    changed_.notify_all();
}

LocalTime VirtualClock::local_time() const {
    std::lock_guard lock(mutex_);
    auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now_).count();
    if (zone_ == Zone::local) {
        return local_time_at(static_cast<std::time_t>(start_seconds_ + elapsed));
    }
    return local_time_from_calendar_seconds(start_seconds_ + elapsed);
}

int64_t VirtualClock::utc_seconds() const {
    std::lock_guard lock(mutex_);
    return start_seconds_ + std::chrono::duration_cast<std::chrono::seconds>(now_).count();
}

void VirtualClock::advance_to(Duration t) {
    std::lock_guard lock(mutex_);
    if (t > now_) {
        now_ = t;
        changed_.notify_all();
    }
}

void VirtualClock::hold_at(Duration t) {
    std::lock_guard lock(mutex_);
    hold_ = t;
    changed_.notify_all();
}

void VirtualClock::release_hold() {
    std::lock_guard lock(mutex_);
    hold_.reset();
    changed_.notify_all();
}

bool VirtualClock::wait_reached(Duration t, std::chrono::milliseconds real_timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, real_timeout, [&] { return now_ >= t; });
}

}  // namespace core
