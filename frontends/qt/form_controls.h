#pragma once

#include <array>
#include <utility>
#include <vector>

#include "controller.h"

namespace gui {

// The control ids of a program's dialog 101 that every program has, by role.
struct FormControls {
    std::array<int, core::CHANNEL_COUNT> radio{};
    std::array<int, core::CHANNEL_COUNT> channel_box{};
    std::array<int, core::CHANNEL_COUNT> line_box{};
    std::array<int, core::CHANNEL_COUNT> mode_text{};
    int status = 0;
    int log = 0;
    std::vector<std::pair<int, core::Button>> buttons;
};

}  // namespace gui
