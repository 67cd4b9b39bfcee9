#pragma once

#include <array>
#include <string>

#include "link/commands.h"

namespace station {

// The members of the form that every program has. Only the user-interface side (the form's
// handlers) writes them; the front ends show them.
struct FormModel {
    std::string status_text;
    int channel_radio = -1;  // -1: no channel selected
    std::array<int, core::CHANNEL_COUNT> channel_box{};
    std::array<int, core::CHANNEL_COUNT> line_box{};
    std::array<std::string, core::CHANNEL_COUNT> mode_text{};
};

const char* const STATUS_SURVEY = "            Опрос каналов ! ";

// Mode names of the channel rows; Pinread names DTMF reception its own way.
std::string mode_name(uint8_t mode, const std::string& dtmf_name = "Прием DTMF");

}  // namespace station
