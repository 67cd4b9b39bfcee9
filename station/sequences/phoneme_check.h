#pragma once

#include <string>

#include "form/form_messages.h"
#include "state/program_state.h"

namespace station {

struct CheckTexts {
    core::Duration select_pause{0};  // after the select (Inform: 4 ms)
    std::string end_line;
};

// The board of channel plays all its phonemes on its line while the operator listens. The
// wait for the end of playing is bounded, so a board that never answers cannot hold the link.
void phoneme_check(ProgramState& s, const CheckTexts& texts, FormMessages& form, int channel);

constexpr core::Duration CHECK_PLAY_LIMIT = std::chrono::minutes(10);

// The status while a board plays its phonemes back: the first digit of the channel number.
inline std::string check_status(int current_channel) {
    return " Контрольное прослушивание фонем канала K" +
           std::to_string(current_channel + 1).substr(0, 1);
}

}  // namespace station
