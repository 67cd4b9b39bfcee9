#pragma once

#include <array>
#include <utility>
#include <vector>

#include "link/commands.h"

namespace station {

// The operator's buttons, for the front ends. A program answers only its own.
enum class Button { start, stop, upload, informer_upload, time_upload, check, permit };
constexpr Button ALL_BUTTONS[] = {Button::start,           Button::stop,        Button::upload,
                                  Button::informer_upload, Button::time_upload, Button::check,
                                  Button::permit};

// A button as the console's commands and the journal name it.
inline const char* button_word(Button button) {
    switch (button) {
        case Button::start:
            return "start";
        case Button::stop:
            return "stop";
        case Button::upload:
            return "upload";
        case Button::informer_upload:
            return "informer";
        case Button::time_upload:
            return "time";
        case Button::check:
            return "check";
        case Button::permit:
            return "permit";
    }
    return "?";
}

// The control ids of a program's dialog 101 that every program has, by role. The Qt form and
// the Win32 dialog carry the same ids.
struct FormControls {
    std::array<int, core::CHANNEL_COUNT> radio{};
    std::array<int, core::CHANNEL_COUNT> channel_box{};
    std::array<int, core::CHANNEL_COUNT> line_box{};
    std::array<int, core::CHANNEL_COUNT> mode_text{};
    int status = 0;
    int log = 0;
    std::vector<std::pair<int, Button>> buttons;
};

}  // namespace station
