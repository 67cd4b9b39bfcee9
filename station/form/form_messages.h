#pragma once

#include "state/program_state.h"

namespace station {

// What worker threads tell the form (a refresh, or a state code for the program's handler), each
// with the channel concerned (current_channel is set to it first; -1 leaves current_channel as it
// is). They return when the form's handler has run.
class FormMessages {
  public:
    virtual ~FormMessages() = default;
    virtual void form_update(int channel) = 0;
    virtual void form_state(int code, int channel = -1) = 0;
    // A worker's last message: link_state takes its new value on the user-interface side,
    // in the same step as the form state, so no button handler can come in between.
    virtual void end_turn(LinkState link_state, int code, int channel = -1) = 0;
};

// State codes of the shared threads.
constexpr int FORM_CHANNEL_ROW = 0;  // a channel answered the survey
constexpr int FORM_IDLE = 1;         // survey, check or upload ended
constexpr int FORM_WORK_ENDED = 2;   // an engine ended
constexpr int FORM_CHECKING = 3;     // the phoneme check began

}  // namespace station
