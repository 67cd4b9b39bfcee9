#pragma once

#include <array>
#include <atomic>

#include "form/form_messages.h"
#include "inform/clock_check.h"
#include "sequences/engine_skeleton.h"
#include "state/program_state.h"

namespace inform {

// What the informer engine shares with the form and the stop button.
struct InformState {
    std::array<int, core::CHANNEL_COUNT> served_mode{};  // 0 none, 1 informer, 3 time service
    std::atomic<bool> stop_requested{false};
    ClockCheck clock_check;  // set before the first run
};

// The six bytes that set a board's clock, all from one reading of the PC clock: CMD_SET_CLOCK,
// the hour in BCD and plain, the minute in BCD and plain, the weekday Monday 0 .. Sunday 6.
std::array<uint8_t, 6> clock_bytes(const core::LocalTime& now);

// One period of the auto-informer and time service: start every informer and time-service
// channel with a line (setting the clocks of the time-service ones), then poll them in
// endless cycles, counting messages and correcting a clock every ten minutes, until a stop
// request has released every channel or a board fails to answer.
class InformerEngine : station::EngineSkeleton {
  public:
    InformerEngine(station::ProgramState& s, InformState& i, station::FormMessages& form)
        : EngineSkeleton(s, 200), s_(s), i_(i), form_(form) {}

    void run();

  private:
    bool serves(int k) const override { return i_.served_mode[k] != 0; }
    bool start_channel(int k) override;
    bool set_board_clock(const core::LocalTime& now, bool long_first_wait);
    void before_pass() override;
    bool poll_channel(int k) override;
    bool stop_requested() const override { return i_.stop_requested; }
    void end_run() override;

    void pause(core::Duration d) { s_.link.pause(d); }

    station::ProgramState& s_;
    InformState& i_;
    station::FormMessages& form_;
    bool correction_due_ = false;
    bool correction_done_ = false;
};

constexpr int FORM_MESSAGES_COUNTED = 4;

}  // namespace inform
