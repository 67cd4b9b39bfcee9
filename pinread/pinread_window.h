#pragma once

#include "pinread_controller.h"
#include "program_window.h"

namespace pinread {

// Pinread's form for the shared window shell.
gui::WindowSetup window_setup();

}  // namespace pinread
