#pragma once

#include "pinread/pinread_controller.h"
#include "qt/program_window.h"

namespace pinread {

// Pinread's form for the shared window shell.
gui::WindowSetup window_setup();

}  // namespace pinread
