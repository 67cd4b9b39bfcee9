#pragma once

#include "inform/inform_controller.h"
#include "qt/program_window.h"

namespace inform {

// Inform's form for the shared window shell.
gui::WindowSetup window_setup();

}  // namespace inform
