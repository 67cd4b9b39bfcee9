#pragma once

#include "form_messages.h"
#include "program_state.h"

namespace core {

struct CheckTexts {
    Duration select_pause{0};  // after the select (Inform: 4 ms)
    std::string end_line;
};

// The board of channel plays all its phonemes on its line while the operator listens. The
// wait for the end of playing is bounded, so a board that never answers cannot hold the link.
void phoneme_check(ProgramState& s, const CheckTexts& texts, FormMessages& form, int channel);

constexpr Duration CHECK_PLAY_LIMIT = std::chrono::minutes(10);

}  // namespace core
