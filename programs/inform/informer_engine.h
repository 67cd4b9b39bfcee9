#pragma once

#include <array>
#include <atomic>

#include "form/form_messages.h"
#include "state/program_state.h"

namespace inform {

// What the informer engine shares with the form and the stop button.
struct InformState {
    std::array<int, core::CHANNEL_COUNT> served_mode{};  // 0 none, 1 informer, 3 time service
    std::atomic<int> stop_requested{0};
};

// The six bytes that set a board's clock, all from one reading of the PC clock: CMD_SET_CLOCK,
// the hour in BCD and plain, the minute in BCD and plain, the weekday Monday 0 .. Sunday 6.
std::array<uint8_t, 6> clock_bytes(const core::LocalTime& now);

// One period of the auto-informer and time service: start every informer and time-service
// channel with a line (setting the clocks of the time-service ones), then poll them in
// endless cycles, counting messages and correcting a clock every ten minutes, until a stop
// request has released every channel or a board fails to answer.
class InformerEngine {
  public:
    InformerEngine(core::ProgramState& s, InformState& i, core::FormMessages& form)
        : s_(s), i_(i), form_(form) {}

    void run();

  private:
    bool start_pass();
    bool start_channel(int k);
    bool set_board_clock(const core::LocalTime& now, bool long_first_wait);
    bool poll_cycle();
    bool poll_channel(int k);
    void end();

    void pause(core::Duration d) { s_.link.pause(d); }

    core::ProgramState& s_;
    InformState& i_;
    core::FormMessages& form_;
    bool correction_due_ = false;
    bool correction_done_ = false;
    bool work_done_ = false;  // every channel taken out of service: the loop ends
};

constexpr int FORM_MESSAGES_COUNTED = 4;

}  // namespace inform
