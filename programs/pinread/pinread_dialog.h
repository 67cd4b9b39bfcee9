#pragma once

#include "pinread/pinread_controller.h"
#include "win32/dialog_setup.h"

namespace pinread {

// Pinread's dialog for the shared Win32 shell.
win32::DialogSetup dialog_setup(const PinreadController& controller);

}  // namespace pinread
