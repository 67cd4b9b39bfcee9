#include "inform/clock_check.h"

namespace inform {

using core::ClockSync;

namespace {

constexpr int64_t LOOK_EVERY_SECONDS = 3600;

}  // namespace

bool ClockCheck::corrections_allowed(station::ProgramState& s) {
    if (mode_ == core::ClockCheckMode::off) {
        return true;
    }
    int64_t now = std::chrono::duration_cast<std::chrono::seconds>(s.clock.now()).count();
    if (!looked_ || now - looked_at_ >= LOOK_EVERY_SECONDS) {
        looked_ = true;
        looked_at_ = now;
        look(s);
    }
    return mode_ != core::ClockCheckMode::hold || last_ != ClockSync::unsynchronised;
}

// Says what changed: a clock that stays unsynchronised is said once, not every hour.
void ClockCheck::look(station::ProgramState& s) {
    ClockSync seen = source_();
    if (seen == last_) {
        return;
    }
    if (seen == ClockSync::unsynchronised) {
        s.log.add("Часы ПК не синхронизированы");
    } else if (seen == ClockSync::unknown) {
        s.log.add("Синхронизированы ли часы ПК, узнать нельзя");
    } else if (mode_ == core::ClockCheckMode::hold && last_ == ClockSync::unsynchronised) {
        s.log.add("Часы ПК синхронизированы: корректировка часов плат возобновлена");
    } else {
        s.log.add("Часы ПК синхронизированы");
    }
    last_ = seen;
}

}  // namespace inform
