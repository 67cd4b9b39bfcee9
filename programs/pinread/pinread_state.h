#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "link/commands.h"

namespace pinread {

// The DTMF engine's state per channel, which the form reads while the engine waits for it.
struct PinreadState {
    std::array<bool, core::CHANNEL_COUNT> dtmf_active{};
    std::array<bool, core::CHANNEL_COUNT> pin_armed{};
    std::array<bool, core::CHANNEL_COUNT> dial_timer_running{};
    std::array<int, core::CHANNEL_COUNT> hangup_stage{};    // 0 none, 1 stop phrase due, 2 hang up
    std::array<int, core::CHANNEL_COUNT> playback_index{};  // next key code to speak back, 1..3
    std::array<std::array<uint8_t, core::CHANNEL_COUNT>, 4> pin_digits{};  // [i][k]
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
