#pragma once

#include "form_controls.h"

namespace dialrun {

// Dialrun's dialog 101: the common controls, and its own.
core::FormControls form_controls();

const int PROGRESS_ID = 1000;
const int NOT_NOTIFIED_LIST_ID = 1040;
const int NOTIFIED_LIST_ID = 1041;
const int RECORD_LIST_ID = 1056;
const int LIST_TOTAL_ID = 1046;
const int NOTIFIED_TOTAL_ID = 1047;
const int NOT_NOTIFIED_TOTAL_ID = 1048;
const int WAIT_TEXT_ID = 1049;
const int WAIT_SPIN_ID = 1050;
const int STOP_TEXT_ID = 1051;
const int STOP_SPIN_ID = 1054;
// The spins' ranges: "Ожид." 1..59 seconds, "Стоп" 1..23 o'clock.
const int WAIT_LOW = 1;
const int WAIT_HIGH = 59;
const int STOP_LOW = 1;
const int STOP_HIGH = 23;
const int RECORD_TOTAL_ID = 1055;
const int START_STAMP_ID = 1061;
const int STOP_STAMP_ID = 1062;

}  // namespace dialrun
