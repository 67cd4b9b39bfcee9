#pragma once

#include <cstdint>

#include "state/program_state.h"

namespace station {

// How the pauses around a select run: on the line (the work done since the last byte counts
// towards them, as in the engines) or as whole sleeps (the survey and the uploads).
enum class PauseKind { on_the_line, whole_sleep };

struct SelectPauses {
    core::Duration before{0};
    core::Duration after{0};
    PauseKind kind = PauseKind::on_the_line;
};

// What the select's reply said: the board's own address, nothing, or another address.
enum class Echo { own_address, silent, wrong_address };

// A pause, the select byte (the channel, or with bit 7), a pause, the reply and its address
// checked against the channel. The reply stays in OGD for the caller to read the board's
// condition.
Echo select_and_check_echo(ProgramState& s, int channel, uint8_t select_byte,
                           const SelectPauses& pauses);

// The engines' select: on silence or a wrong address echo logs the caller's text (appended
// only) and fails.
bool select_board(ProgramState& s, int channel, uint8_t select_byte, core::Duration before,
                  core::Duration after, const char* silent_text, const char* echo_text);

}  // namespace station
