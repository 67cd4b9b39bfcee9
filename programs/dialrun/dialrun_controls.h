#pragma once

#include <string>
#include <utility>
#include <vector>

#include "dialrun/dialrun_form.h"
#include "form/form_controls.h"

namespace dialrun {

// Dialrun's dialog 101: the common controls, and its own.
station::FormControls form_controls();

const int PROGRESS_ID = 1000;
const int NOT_NOTIFIED_LIST_ID = 1040;
const int NOTIFIED_LIST_ID = 1041;
const int RECORD_LIST_ID = 1056;

// One of Dialrun's spins: its id, the console command that sets what it shows, its range.
struct SpinControl {
    int id;
    const char* command;
    int low;
    int high;
};
const SpinControl WAIT_SPIN{1050, "set-wait", 1, 59};  // "Ожид.", seconds
const SpinControl STOP_SPIN{1054, "set-stop", 1, 23};  // "Стоп", o'clock

// The texts of Dialrun's own edit fields (counters, settings, stamps) by control id, as every
// front end shows them.
std::vector<std::pair<int, std::string>> field_texts(const DialrunForm& form);

}  // namespace dialrun
