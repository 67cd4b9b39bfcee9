#pragma once

#include "dialrun/dialrun_controller.h"
#include "win32/dialog_setup.h"

namespace dialrun {

// Dialrun's dialog for the shared Win32 shell.
win32::DialogSetup dialog_setup(const DialrunController& controller);

}  // namespace dialrun
