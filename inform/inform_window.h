#pragma once

#include "inform_controller.h"
#include "program_window.h"

namespace inform {

// Inform's form for the shared window shell.
gui::WindowSetup window_setup();

}  // namespace inform
