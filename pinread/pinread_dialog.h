#pragma once

#include "dialog_setup.h"
#include "pinread_controller.h"

namespace pinread {

// Pinread's dialog for the shared Win32 shell.
win32::DialogSetup dialog_setup(const PinreadController& controller);

}  // namespace pinread
