#pragma once

#include <array>
#include <utility>
#include <vector>

#include "link/commands.h"

namespace core {

// The operator's buttons, for the front ends. A program answers only its own.
enum class Button { start, stop, upload, informer_upload, time_upload, check, permit };

// The control ids of a program's dialog 101 that every program has, by role. The Qt form and
// the Win32 dialog carry the same ids.
struct FormControls {
    std::array<int, CHANNEL_COUNT> radio{};
    std::array<int, CHANNEL_COUNT> channel_box{};
    std::array<int, CHANNEL_COUNT> line_box{};
    std::array<int, CHANNEL_COUNT> mode_text{};
    int status = 0;
    int log = 0;
    std::vector<std::pair<int, Button>> buttons;
};

}  // namespace core
