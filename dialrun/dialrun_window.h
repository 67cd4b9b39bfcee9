#pragma once

#include "dialrun_controller.h"
#include "run_window.h"

namespace dialrun {

// Dialrun's form for the shared window shell.
gui::WindowSpec window_spec();

}  // namespace dialrun
