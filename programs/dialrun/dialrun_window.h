#pragma once

#include "dialrun/dialrun_controller.h"
#include "qt/program_window.h"

namespace dialrun {

// Dialrun's form for the shared window shell.
gui::WindowSetup window_setup();

}  // namespace dialrun
