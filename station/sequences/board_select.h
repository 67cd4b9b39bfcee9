#pragma once

#include <cstdint>

#include "state/program_state.h"

namespace core {

// Opens an exchange: a pause, the select byte (the channel, or with bit 7), a pause, the reply.
// On silence or a wrong address echo logs the caller's text (appended only) and fails; the
// reply stays in OGD for the caller to read the board's condition.
bool select_board(ProgramState& s, int channel, uint8_t select_byte, Duration before,
                  Duration after, const char* silent_text, const char* echo_text);

}  // namespace core
