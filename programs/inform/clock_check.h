#pragma once

#include <cstdint>
#include <functional>

#include "state/program_state.h"
#include "time/clock_sync.h"

namespace inform {

// Inform's look at the PC clock before it corrects the boards' clocks by it: at the start of
// a run and then every hour, it asks whether the clock is synchronised, and says so in the
// log when it is not (warn), holding the corrections meanwhile (hold).
class ClockCheck {
  public:
    explicit ClockCheck(core::ClockCheckMode mode = core::ClockCheckMode::off,
                        std::function<core::ClockSync()> source = core::system_clock_sync)
        : mode_(mode), source_(std::move(source)) {}

    // A run begins: the next look is at once.
    void restart() { looked_ = false; }
    // Looks when a look is due; false while the boards' clock corrections are held.
    bool corrections_allowed(station::ProgramState& s);

  private:
    void look(station::ProgramState& s);

    core::ClockCheckMode mode_;
    std::function<core::ClockSync()> source_;
    bool looked_ = false;
    int64_t looked_at_ = 0;  // whole seconds of the program clock
    core::ClockSync last_ = core::ClockSync::synchronised;
};

}  // namespace inform
