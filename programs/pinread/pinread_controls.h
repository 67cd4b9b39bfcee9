#pragma once

#include "form/form_controls.h"

namespace pinread {

// Pinread's dialog 101.
station::FormControls form_controls();

}  // namespace pinread
