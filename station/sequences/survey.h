#pragma once

#include "form/form_messages.h"
#include "state/program_state.h"

namespace station {

// Pauses that differ between the programs' surveys.
struct SurveyPauses {
    core::Duration after_form_update{0};
    core::Duration after_select{0};
};

// The channel survey at start-up: which boards answer K1..K8, their modes and lines. Each
// board found has its working mode stopped and is released. Ends with link_state 0, or
// leaves it -1 when a board answers wrongly.
void channel_survey(ProgramState& s, const SurveyPauses& pauses, FormMessages& form);

}  // namespace station
