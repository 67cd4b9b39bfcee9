#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "link/commands.h"

namespace pinread {

// Where a call stands in its hanging up: nothing due, the stop phrase due, the receiver due.
enum class HangupStage { none = 0, stop_phrase_due = 1, hang_up_due = 2 };

// One channel's call, as the DTMF engine keeps it between polls.
struct PinreadCall {
    bool pin_armed = false;           // the board waits for a caller's code
    bool dial_timer_running = false;  // the caller is dialling: the 58 s limit runs
    HangupStage hangup_stage = HangupStage::none;
    int playback_index = 0;  // next key code to speak back, 1..3; 0 none
    int64_t dial_timer_start = 0;
    std::array<uint8_t, 4> pin_digits{};

    // Ready for the next caller: nothing armed, dialled, due or being spoken back.
    bool idle() const {
        return !pin_armed && !dial_timer_running && hangup_stage == HangupStage::none &&
               playback_index == 0;
    }
};

// The DTMF engine's state per channel, which the form reads while the engine waits for it.
struct PinreadState {
    std::array<bool, core::CHANNEL_COUNT> dtmf_active{};
    std::array<PinreadCall, core::CHANNEL_COUNT> call{};
    std::atomic<bool> stop_requested{false};
};

// State codes of the engine for the form.
constexpr int FORM_HUNG_UP = 0;
constexpr int FORM_CODE_READ = 4;
constexpr int FORM_STOP_PHRASE = 5;
constexpr int FORM_ARMING = 6;
constexpr int FORM_DIALLING = 7;
constexpr int FORM_PLAYING = 8;
constexpr int FORM_CHANNEL_STOPPED = 9;

}  // namespace pinread
