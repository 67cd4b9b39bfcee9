#pragma once

#include "dialog_setup.h"
#include "dialrun_controller.h"

namespace dialrun {

// Dialrun's dialog for the shared Win32 shell.
win32::DialogSetup dialog_setup(const DialrunController& controller);

}  // namespace dialrun
