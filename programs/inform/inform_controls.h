#pragma once

#include "form/form_controls.h"

namespace inform {

// Inform's dialog 101, and its message counters K1..K8 (there is no control 1055).
station::FormControls form_controls();

const int COUNTER_IDS[core::CHANNEL_COUNT] = {1050, 1051, 1052, 1053, 1054, 1056, 1057, 1058};

}  // namespace inform
