#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "state/program_state.h"
#include "time/clock.h"

namespace station {

// How a step waits for its reply: the link's reply limit, or the long wait of a board that
// first finishes its message (Inform's 59 s).
enum class ReplyWait { normal, long_message };
// Where a time-out line goes: beside the current line (engines, uploads) or made current (the
// survey).
enum class TimeoutLine { aside, current };

// One step of every sequence on the link: the line's pause (none where not given), one byte
// sent and its reply awaited. On silence the step's time-out text is logged and false comes
// back: the sequence is abandoned.
bool exchange(ProgramState& s, uint8_t byte, std::optional<core::Duration> pause_before,
              const std::string& timeout_text, ReplyWait wait = ReplyWait::normal,
              TimeoutLine line = TimeoutLine::aside);

}  // namespace station
